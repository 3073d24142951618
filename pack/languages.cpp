#include "languages.h"

#include <algorithm>
#include <system_error>

#include "compressor.h"
#include "file_io.h"
#include "package/strict_json.h"
#include "texts/languages_resource.h"
#include "texts/messages.h"
#include "texts/placeholders.h"

namespace plinth::pack {
namespace {

constexpr std::uint64_t kMaxTableFileSize = 4 * 1024 * 1024;

// The message's English text, or nothing for a key that is no message's.
std::optional<std::string_view> english_for(std::string_view key) {
    const auto at = std::find(kMessageKeys.begin(), kMessageKeys.end(), key);
    if (at == kMessageKeys.end()) return std::nullopt;
    return kEnglishTexts[static_cast<std::size_t>(at - kMessageKeys.begin())];
}

// "{name} and {version}": the text's placeholders, each once, in order; "none".
std::string placeholder_list(std::string_view text) {
    std::vector<std::string> names;
    for (PlaceholderSpan p = next_placeholder(text, 0); p.length != 0; p = next_placeholder(text, p.at + p.length)) {
        std::string name(text.substr(p.at, p.length));
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
    }
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) list += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return list.empty() ? "none" : list;
}

std::string in_quotes(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

std::vector<std::filesystem::path> languages_folder_candidates(const std::filesystem::path& packer_path) {
    const std::filesystem::path folder = packer_path.parent_path();
    std::vector<std::filesystem::path> candidates{
        ((folder.empty() ? std::filesystem::path(".") : folder) / ".." / "share" / "plinth" / "languages").lexically_normal(),
        folder / "languages"};
#ifdef PLINTH_BUILD_TREE_LANGUAGES
    candidates.push_back(path_from_utf8(PLINTH_BUILD_TREE_LANGUAGES));
#endif
    return candidates;
}

Expected<TextTables, std::string> parse_table_file(std::string_view json, const std::string& shown) {
    auto parsed = parse_strict_json(json);
    if (!parsed) return unexpected(shown + " isn't valid JSON: " + parsed.error() + ".");
    const char* shape = " must be an object of language tags, each an object of message keys and texts, such as "
                        "{\"de\": {\"install.button\": \"Installieren\"}}.";
    if (!parsed->is_object()) return unexpected(shown + shape);
    TextTables tables;
    for (const JsonMember& language : parsed->members) {
        // A table without its tag around it is the likely mistake: the shape says what to write.
        if (!language.value.is_object()) return unexpected(shown + ": " + in_quotes(language.key) + shape);
        if (!is_language_tag(language.key)) {
            return unexpected(shown + ": " + in_quotes(language.key) + " isn't a language tag; write one such as \"de\" or \"pt-BR\".");
        }
        if (tables.contains(language.key)) return unexpected(shown + ": " + in_quotes(language.key) + " is given twice; keep one.");
        TextTable& table = tables[language.key];
        for (const JsonMember& text : language.value.members) {
            if (!text.value.is_string()) {
                return unexpected(shown + ": " + language.key + " " + in_quotes(text.key) + " is a JSON " +
                                  json_type_name(text.value.type) + "; write its text as a string.");
            }
            if (!table.emplace(text.key, text.value.text).second) {
                return unexpected(shown + ": " + language.key + " " + in_quotes(text.key) + " is given twice; keep one.");
            }
        }
    }
    return tables;
}

Expected<TextTables, std::string> read_shipped_tables(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() == ".json") files.push_back(it->path());
    }
    if (error) return unexpected(path_to_utf8(folder) + ": " + error.message());
    std::sort(files.begin(), files.end());
    TextTables all;
    for (const auto& file : files) {
        auto bytes = read_file(file, kMaxTableFileSize);
        if (!bytes) return unexpected(bytes.error().text);
        auto tables = parse_table_file(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
                                       path_to_utf8(file));
        if (!tables) return unexpected(tables.error());
        for (auto& [tag, table] : *tables) all[tag] = std::move(table);
    }
    return all;
}

std::vector<std::string> table_problems(std::string_view tag, const TextTable& table, bool complete) {
    std::vector<std::string> problems;
    const std::string language(tag);
    for (const auto& [key, text] : table) {
        const auto message = english_for(key);
        if (!message) {
            problems.push_back(language + ": " + in_quotes(key) +
                               " isn't a message key; the keys are listed in docs/languages.md. Remove it or fix its name.");
            continue;
        }
        const std::string english = in_quotes(*message);
        if (text.empty()) {
            problems.push_back(language + ": " + in_quotes(key) + " is empty; write the text for the English " + english +
                               (complete ? "." : ", or leave the key out to keep the shipped text."));
        } else if (!same_placeholders(*message, text)) {
            problems.push_back(language + ": " + in_quotes(key) + " has the placeholders " + placeholder_list(text) +
                               "; it must have " + placeholder_list(*message) + ", as the English " + english +
                               " has.");
        }
    }
    if (!complete) return problems;
    for (std::size_t i = 0; i < kMessageCount; ++i) {
        if (table.contains(std::string(kMessageKeys[i]))) continue;
        problems.push_back(language + ": " + in_quotes(kMessageKeys[i]) + " is missing; add it with the text for the English " +
                           in_quotes(kEnglishTexts[i]) + ".");
    }
    return problems;
}

Expected<std::optional<std::vector<std::string>>, std::string> chosen_languages(
    std::string_view manifest_json, const std::optional<std::string>& option) {
    std::vector<std::string> tags;
    if (option) {
        if (*option == "all") return std::optional<std::vector<std::string>>();
        if (*option == "none") return std::optional<std::vector<std::string>>(tags);
        std::string_view rest = *option;
        while (true) {
            const std::size_t comma = std::min(rest.find(','), rest.size());
            const std::string tag(rest.substr(0, comma));
            if (!is_language_tag(tag)) {
                return unexpected("--languages: " + in_quotes(tag) +
                                  " isn't a language tag; write \"all\", \"none\" or tags separated by commas, such as de,fr,pt-BR.");
            }
            tags.push_back(tag);
            if (comma == rest.size()) break;
            rest.remove_prefix(comma + 1);
        }
        return std::optional<std::vector<std::string>>(std::move(tags));
    }
    // The manifest has passed its review: "languages" is "all" or a list of tags, when present.
    auto parsed = parse_strict_json(manifest_json);
    const JsonValue* languages = parsed ? parsed->find("languages") : nullptr;
    if (languages == nullptr || !languages->is_array()) return std::optional<std::vector<std::string>>();
    for (const JsonValue& tag : languages->elements) tags.push_back(tag.text);
    return std::optional<std::vector<std::string>>(std::move(tags));
}

Expected<TextTables, std::string> gather_languages(const TextTables& shipped, const TextTables& added,
                                                   const std::optional<std::vector<std::string>>& chosen) {
    std::vector<std::string> problems;
    TextTables tables;
    const auto wanted = [&](const std::string& tag) {
        return !chosen || std::find(chosen->begin(), chosen->end(), tag) != chosen->end();
    };
    for (const auto& [tag, table] : shipped) {
        if (!wanted(tag)) continue;
        for (std::string& problem : table_problems(tag, table, false)) problems.push_back(std::move(problem));
        tables[tag] = table;
    }
    for (const auto& [tag, table] : added) {
        const bool is_shipped = shipped.contains(tag);
        for (std::string& problem : table_problems(tag, table, !is_shipped)) problems.push_back(std::move(problem));
        if (!wanted(tag)) {
            problems.push_back(tag + " is in --texts but not among the chosen languages; add it to \"languages\" (or "
                                     "--languages), or take it out of the texts file.");
            continue;
        }
        for (const auto& [key, text] : table) tables[tag][key] = text;
    }
    if (chosen) {
        for (const std::string& tag : *chosen) {
            if (tag == "en" || tables.contains(tag)) continue;
            std::string list;
            for (const auto& [shipped_tag, table] : shipped) list += (list.empty() ? "" : ", ") + shipped_tag;
            problems.push_back(tag + " is chosen, but no table has it (the shipped ones are " +
                               (list.empty() ? std::string("none") : list) + "); add it with --texts FILE.json.");
        }
    }
    if (!problems.empty()) {
        std::string text;
        for (const std::string& problem : problems) text += (text.empty() ? "" : "\n") + problem;
        return unexpected(text);
    }
    return tables;
}

LanguagesResource build_languages(const TextTables& tables) {
    LanguagesResource resource;
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> streams;
    for (const auto& [tag, table] : tables) {
        // In the order of the messages; a message the table lacks stays empty (English).
        std::vector<std::string> texts(kMessageCount);
        for (std::size_t i = 0; i < kMessageCount; ++i) {
            if (auto text = table.find(std::string(kMessageKeys[i])); text != table.end()) texts[i] = text->second;
        }
        auto stream = compress_whole(Compressor::zlib, build_text_table(texts));
        if (!stream) continue;
        resource.costs.emplace_back(tag, 1 + tag.size() + 4 + stream->size());
        streams.emplace_back(tag, std::move(*stream));
    }
    if (!streams.empty()) resource.bytes = build_languages_resource(streams);
    return resource;
}

}  // namespace plinth::pack
