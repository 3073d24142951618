#include "pack_manifest.h"

#include <cstdio>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "common/text.h"
#include "common/upper_case.h"
#include "package/file_name_rules.h"
#include "package/link_rules.h"
#include "package/manifest.h"
#include "package/strict_json.h"
#include "registry/document_types.h"
#include "texts/languages_resource.h"
#include "package/signer_name.h"
#include "package/update_url.h"
#include "package/version_order.h"
#include "json_string.h"
#include "version_record.h"

namespace plinth::pack {
namespace {

constexpr std::array<std::string_view, 15> kTopKeys = {
    "$schema", "name", "id", "version", "publisher", "exe", "documents", "languages", "updates", "appUserModelId", "protocols",
    "hooks", "removingMayRefuse", "license", "allowFolderChoice"};
constexpr std::array<std::string_view, 3> kHookKeys = {"installed", "updated", "removing"};
constexpr std::array<std::string_view, 2> kUpdatesKeys = {"feed", "publishers"};
constexpr std::array<std::string_view, 4> kDocumentKeys = {"name", "extensions", "owned", "icon"};

// The characters Windows refuses in a file name; a backslash would also split a registry key.
constexpr std::string_view kForbiddenInNames = "\\/:*?\"<>|";

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0d) || c == 0x20 || c == 0x85 || c == 0xa0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200a) || c == 0x2028 || c == 0x2029 || c == 0x202f || c == 0x205f ||
           c == 0x3000;
}

bool empty_after_trimming(std::string_view text) {
    for (char32_t c : to_utf32(text)) {
        if (!is_white_space(c)) return false;
    }
    return true;
}

// A text that names a registry key (the uninstall key, a ProgID, an extension's key): a backslash
// would split it into nested keys, and a NUL would cut it short.
std::optional<std::string> key_name_problem(std::string_view text) {
    if (text.find('\\') != std::string_view::npos) {
        return "has a backslash, which would split its registry key into nested keys";
    }
    if (text.find('\0') != std::string_view::npos) return "has the character U+0000, which would cut its registry key short";
    return std::nullopt;
}

std::string code_point_text(char32_t c) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "U+";
    for (int shift = c > 0xffff ? 20 : 12; shift >= 0; shift -= 4) text.push_back(digits[(c >> shift) & 15]);
    return text;
}

bool is_control(char32_t c) { return c < 0x20 || (c >= 0x7f && c <= 0x9f); }

// Case ignored as the registry compares key names, which is as Windows compares file names.
char32_t fold_case(char32_t c) { return c <= 0xffff ? upper_case(static_cast<char16_t>(c)) : c; }

std::u32string folded(std::string_view text) {
    std::u32string wide = to_utf32(text);
    for (char32_t& c : wide) c = fold_case(c);
    return wide;
}

std::string lower_ascii(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

// Edit distance with transpositions ("verison" is one step from "version"), without case.
std::size_t distance(std::string_view a, std::string_view b) {
    const std::string x = lower_ascii(a);
    const std::string y = lower_ascii(b);
    std::vector<std::vector<std::size_t>> d(x.size() + 1, std::vector<std::size_t>(y.size() + 1));
    for (std::size_t i = 0; i <= x.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= y.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= x.size(); ++i) {
        for (std::size_t j = 1; j <= y.size(); ++j) {
            const std::size_t cost = x[i - 1] == y[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[x.size()][y.size()];
}

template <std::size_t N>
bool known(const std::array<std::string_view, N>& keys, std::string_view key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

// The known key a mistyped one most likely meant: within two edits, and fewer edits than the
// key has characters, so that "x" suggests nothing.
template <std::size_t N>
std::optional<std::string_view> nearest(const std::array<std::string_view, N>& keys, std::string_view key) {
    std::optional<std::string_view> best;
    std::size_t best_distance = 3;
    for (std::string_view candidate : keys) {
        const std::size_t d = distance(key, candidate);
        if (d < best_distance && d < key.size()) {
            best = candidate;
            best_distance = d;
        }
    }
    return best;
}

template <std::size_t N>
std::string key_list(const std::array<std::string_view, N>& keys) {
    std::string list;
    for (std::size_t i = 0; i < N; ++i) {
        if (i > 0) list += i + 1 == N ? " and " : ", ";
        // Appended: GCC 12 at -O3 takes "\"" + key for an overlapping copy (-Wrestrict).
        list += '"';
        list += keys[i];
        list += '"';
    }
    return list;
}

// A scalar as JSON writes it, for a value the position scan has no text for.
std::string written(const JsonValue& value) {
    switch (value.type) {
        case JsonType::string: return json_string(value.text);
        case JsonType::number: return value.text;
        case JsonType::boolean: return value.boolean ? "true" : "false";
        default: return json_type_name(value.type);
    }
}

// "the number 8.0", "the text \"768\"", "an object": what the manifest has, as written.
std::string describe(const JsonValue& value, const JsonPlace* place) {
    const std::string text = place != nullptr ? place->text : written(value);
    switch (value.type) {
        case JsonType::object: return "an object";
        case JsonType::array: return "an array";
        case JsonType::string: return "the text " + text;
        case JsonType::boolean: return text;
        case JsonType::null: return "null";
        case JsonType::number: break;
    }
    return "the number " + text;
}

// How to write a scalar as a string: 8.0 becomes "8.0".
std::string as_string_literal(const JsonValue& value, const JsonPlace* place) {
    return json_string(place != nullptr ? place->text : written(value));
}

class Reviewer {
public:
    Reviewer(const JsonPlaces& places, std::vector<ManifestProblem>& problems) : places_(places), problems_(problems) {}

    void add(Severity severity, const JsonPath& path, bool at_key, std::string text) {
        ManifestProblem problem{severity, std::nullopt, std::move(text)};
        // The root's position would say nothing: the problem is the whole manifest's.
        const JsonPlace* place = path.empty() ? nullptr : places_.find(path);
        if (place != nullptr) problem.at = at_key ? place->key : place->value;
        problems_.push_back(std::move(problem));
    }
    void error(const JsonPath& path, bool at_key, std::string text) { add(Severity::error, path, at_key, std::move(text)); }
    void warning(const JsonPath& path, bool at_key, std::string text) { add(Severity::warning, path, at_key, std::move(text)); }

    const JsonPlace* place(const JsonPath& path) const { return places_.find(path); }

private:
    const JsonPlaces& places_;
    std::vector<ManifestProblem>& problems_;
};

// "version", "documents[0].extensions[1]": the path as the messages show it. The only arrays
// the review walks into are "documents", a document type's "extensions", "languages",
// "protocols" and each of "hooks".
std::string path_text(const JsonPath& path) {
    std::string text;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const bool index = (i == 1 && (path[0] == "documents" || path[0] == "languages" || path[0] == "protocols")) ||
                           (i == 3 && path[2] == "extensions") || (i == 2 && path[1] == "publishers") ||
                           (i == 2 && path[0] == "hooks");
        if (index) {
            text += "[" + path[i] + "]";
        } else {
            if (i > 0) text += ".";
            text += path[i];
        }
    }
    return text;
}

std::string subject(const JsonPath& path) { return "The manifest's \"" + path_text(path) + "\""; }

JsonPath child(const JsonPath& path, std::string key) {
    JsonPath result = path;
    result.push_back(std::move(key));
    return result;
}

template <std::size_t N>
void review_keys(Reviewer& reviewer, const JsonValue& object, const JsonPath& path,
                 const std::array<std::string_view, N>& keys, bool top_level) {
    // A repeated key once, at its last occurrence (the one that counts).
    std::set<std::string_view> seen;
    for (auto member = object.members.rbegin(); member != object.members.rend(); ++member) {
        const std::string& key = member->key;
        if (!seen.insert(key).second || known(keys, key)) continue;
        std::string hint;
        if (const auto guess = nearest(keys, key)) {
            hint = "did you mean \"" + std::string(*guess) + "\"?";
        } else if (top_level && known(kDocumentKeys, key)) {
            hint = "\"" + key + "\" belongs in a document type, inside \"documents\"";
        } else if (!top_level && known(kTopKeys, key) && key != "$schema") {
            hint = "\"" + key + "\" belongs at the top level of the manifest";
        } else {
            hint = "the keys here are " + key_list(keys);
        }
        reviewer.error(child(path, key), true,
                       subject(child(path, key)) + " isn't a key plinth knows (" + hint + ").");
    }
}

// A text member: its value when it is a string; a problem otherwise. `required` members must
// also be non-empty.
std::optional<std::string> review_text(Reviewer& reviewer, const JsonValue& object, const JsonPath& path,
                                       const std::string& key, bool required, std::string_view example) {
    const JsonPath at = child(path, key);
    const JsonValue* found = object.find(key);
    if (found == nullptr) {
        if (required) {
            reviewer.error(path, false,
                           "The manifest's \"" + key + "\" is missing; it must be a non-empty string, such as \"" +
                               key + "\": " + json_string(example) + ".");
        }
        return std::nullopt;
    }
    const JsonValue& value = *found;
    if (!value.is_string()) {
        std::string fix;
        if (value.is_number() || value.is_boolean()) {
            fix = ": write " + as_string_literal(value, reviewer.place(at));
        } else {
            fix = ", such as " + json_string(example);
        }
        reviewer.error(at, false,
                       subject(at) + " is " + describe(value, reviewer.place(at)) + "; it must be a string" + fix + ".");
        return std::nullopt;
    }
    const std::string& text = value.text;
    if (required && text.empty()) {
        reviewer.error(at, false, subject(at) + " is empty; it must be a non-empty string, such as " + json_string(example) + ".");
        return std::nullopt;
    }
    return text;
}

void review_version(Reviewer& reviewer, const JsonPath& at, const std::string& version) {
    if (version.empty() || version[0] < '0' || version[0] > '9') {
        reviewer.warning(at, false,
                         subject(at) + " " + json_string(version) +
                             " doesn't start with a number, so the installer's numeric file version is 0.0.0.0; "
                             "write numbers first, such as \"1.4.2\".");
        return;
    }
    // The parts that become the numeric file version: up to four leading numbers.
    std::size_t i = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t start = i;
        while (i < version.size() && version[i] >= '0' && version[i] <= '9') ++i;
        if (i == start) break;
        const std::string number = version.substr(start, i - start);
        const std::string digits = number.substr(std::min(number.find_first_not_of('0'), number.size() - 1));
        if (digits.size() > 5 || (digits.size() == 5 && digits > "65535")) {
            reviewer.warning(at, false,
                             subject(at) + " " + json_string(version) + " has the number " + number +
                                 ", above 65535, so that part of the installer's numeric file version is 0; "
                                 "keep each number at most 65535.");
            return;
        }
        if (i >= version.size() || version[i] != '.') break;
        ++i;
    }
}

void review_exe(Reviewer& reviewer, const JsonPath& at, const std::string& exe) {
    if (auto problem = app_exe_problem(exe)) {
        reviewer.error(at, false, std::move(*problem));
        return;
    }
    // Windows drops trailing dots and spaces from a file name: "Notes.exe." names Notes.exe.
    std::string_view name = exe;
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
    if (!lower_ascii(name).ends_with(".exe")) {
        reviewer.error(at, false,
                       "The manifest's \"exe\" " + json_string(exe) +
                           " must end in \".exe\": Windows runs only such a file from a shortcut or an open "
                           "command; write " + json_string(std::string(name) + ".exe") + ".");
    }
}

void review_id(Reviewer& reviewer, const JsonPath& at, const std::string& id) {
    if (empty_after_trimming(id)) {
        reviewer.error(at, false, "The manifest's \"id\" is only white space; it must be a non-empty text.");
    } else if (auto problem = key_name_problem(id)) {
        reviewer.error(at, false, "The manifest's \"id\" " + *problem + ".");
    }
}

// Why an extension can't name files and registry keys, or nothing.
std::optional<std::string> extension_problem(const std::string& extension) {
    if (auto problem = key_name_problem(extension)) return problem;
    if (extension.empty()) return std::string("is empty; write the extension without the dot, such as \"note\"");
    if (extension[0] == '.') {
        std::string rest = extension;
        while (!rest.empty() && rest[0] == '.') rest.erase(0, 1);
        return "starts with a dot, " + json_string(extension) + "; write it without the dot" +
               (rest.empty() ? std::string() : ": " + json_string(rest));
    }
    for (char32_t c : to_utf32(extension)) {
        if (c < 0x80 && kForbiddenInNames.find(static_cast<char>(c)) != std::string_view::npos) {
            return "has the character " + std::string(1, static_cast<char>(c)) + ", " + json_string(extension) +
                   ", which Windows doesn't allow in file names";
        }
        if (is_control(c)) {
            return "has the control character " + code_point_text(c) + ", " + json_string(extension) +
                   ", which Windows doesn't allow in file names";
        }
    }
    if (extension.back() == '.' || extension.back() == ' ') {
        return "ends in a dot or a space, " + json_string(extension) +
               ", which Windows drops from file names, so no file would have it";
    }
    return std::nullopt;
}

// One document type; `seen` holds the extensions of the earlier ones, folded, with where they are.
void review_document(Reviewer& reviewer, const JsonValue& element, const JsonPath& path, std::size_t number,
                     const AppFacts& app, std::map<std::u32string, std::size_t>& seen) {
    // Named as every other message names it: by its place, "documents[0]".
    const std::string type_name = subject(path);
    if (!element.is_object()) {
        reviewer.error(path, false,
                       subject(path) + " is " + describe(element, reviewer.place(path)) +
                           "; each document type must be an object, such as "
                           "{\"name\": \"Notes document\", \"extensions\": [\"note\"]}.");
        return;
    }
    review_keys(reviewer, element, path, kDocumentKeys, false);

    const JsonValue* name = element.find("name");
    if (name == nullptr || (name->is_string() && name->text.empty())) {
        reviewer.warning(name == nullptr ? path : child(path, "name"), false,
                         type_name + " has no \"name\", so Explorer shows no description for its files; "
                                     "add one, such as \"name\": \"Notes document\".");
    } else if (!name->is_string()) {
        review_text(reviewer, element, path, "name", false, "Notes document");
    }

    bool owned = false;
    if (const JsonValue* found = element.find("owned"); found != nullptr) {
        const JsonPath at = child(path, "owned");
        if (found->is_boolean()) {
            owned = found->boolean;
        } else {
            std::string fix = "write true or false";
            if (found->is_string() && (found->text == "true" || found->text == "false")) {
                fix = "write " + found->text + ", without quotes";
            }
            reviewer.error(at, false,
                           subject(at) + " is " + describe(*found, reviewer.place(at)) + "; it must be true or false: " +
                               fix + ".");
        }
    }

    if (const JsonValue* found = element.find("icon"); found != nullptr) {
        const JsonPath at = child(path, "icon");
        const std::string what = subject(at) + " is " + describe(*found, reviewer.place(at));
        const std::string rule = "; it must be an integer from 0 to 65535, the id of an icon group in the app's exe";
        if (found->is_unsigned_integer()) {
            const std::uint64_t id = found->integer;
            if (id > 0xffff) {
                reviewer.error(at, false, what + rule + ".");
            } else if (app.icon_groups && !app.icon_groups->contains(static_cast<std::uint16_t>(id))) {
                std::string groups;
                for (std::uint16_t group : *app.icon_groups) groups += (groups.empty() ? "" : ", ") + std::to_string(group);
                reviewer.warning(at, false,
                                 type_name + " has \"icon\": " + std::to_string(id) +
                                     ", but the app's exe has no icon group " + std::to_string(id) +
                                     (groups.empty() ? std::string(" (it has none)") : " (it has " + groups + ")") +
                                     ", so Windows shows a blank icon for these documents.");
            }
        } else if (found->is_string()) {
            const std::string& text = found->text;
            const bool digits = !text.empty() && text.size() <= 5 &&
                                text.find_first_not_of("0123456789") == std::string::npos && std::stoul(text) <= 0xffff;
            reviewer.error(at, false, what + rule + (digits ? ": write " + text + ", without quotes." : "."));
        } else if (found->is_number()) {
            // 2.0 or 2e0: the installer would take it for no icon at all. (A number beyond the
            // range of a double reads as infinity here, and is no whole number to suggest.)
            const double number = std::strtod(found->text.c_str(), nullptr);
            const bool whole = number >= 0 && number <= 65535 && number == static_cast<double>(static_cast<long>(number));
            reviewer.error(at, false,
                           what + rule + (whole ? ", written without a fraction or exponent: write " +
                                                      std::to_string(static_cast<long>(number)) + "."
                                                : "."));
        } else {
            reviewer.error(at, false, what + rule + ".");
        }
    }

    const JsonValue* extensions = element.find("extensions");
    if (extensions == nullptr) return;
    const JsonPath list_at = child(path, "extensions");
    if (!extensions->is_array()) {
        std::string fix = ", such as [\"note\"]";
        if (extensions->is_string()) fix = ": write [" + reviewer.place(list_at)->text + "]";
        reviewer.error(list_at, false,
                       subject(list_at) + " is " + describe(*extensions, reviewer.place(list_at)) +
                           "; it must be an array of strings" + fix + ".");
        return;
    }
    for (std::size_t i = 0; i < extensions->elements.size(); ++i) {
        const JsonValue& extension = extensions->elements[i];
        const JsonPath at = child(list_at, std::to_string(i));
        if (!extension.is_string()) {
            std::string fix;
            if (extension.is_number() || extension.is_boolean()) fix = ": write " + as_string_literal(extension, reviewer.place(at));
            reviewer.error(at, false,
                           subject(at) + " is " + describe(extension, reviewer.place(at)) +
                               "; each extension must be a string" + fix + ".");
            continue;
        }
        const std::string& text = extension.text;
        if (auto problem = extension_problem(text)) {
            reviewer.error(at, false, type_name + " has an extension that " + *problem + ".");
            continue;
        }
        const std::u32string key = folded(text);
        if (const auto earlier = seen.find(key); earlier != seen.end()) {
            reviewer.error(at, false,
                           type_name + " has the extension " + json_string(text) +
                               (earlier->second == number ? std::string(" twice")
                                                          : ", which \"documents[" + std::to_string(earlier->second - 1) +
                                                                "]\" has too") +
                               "; extensions are compared without case, and each can be given only once in the "
                               "manifest.");
            continue;
        }
        seen.emplace(key, number);
        if (owned) {
            const std::string lowered = lower_ascii(text);
            const auto& programs = program_extensions();
            if (std::find(programs.begin(), programs.end(), lowered) != programs.end()) {
                reviewer.error(at, false,
                               type_name + " owns the extension " + json_string(text) + ", which Windows runs as a program "
                                           "or script: owning it would take over how Windows runs every such file. "
                                           "Leave it out, or set \"owned\": false to be in its \"Open with\" list only.");
            }
        }
    }
}

// "updates"."publishers": the further signers' subjects, each an X.500 name. The runtime would
// quietly leave out one it can't read, and refuse the updates its renewal was meant to allow.
void review_publishers(Reviewer& reviewer, const JsonValue& updates, const JsonPath& at) {
    const JsonValue* publishers = updates.find("publishers");
    if (publishers == nullptr) return;
    const JsonPath list_at = child(at, "publishers");
    const std::string example = "\"CN=Example Ltd, O=Example Ltd, C=GB\"";
    if (!publishers->is_array()) {
        std::string fix = ", such as [" + example + "]";
        if (publishers->is_string()) fix = ": write [" + reviewer.place(list_at)->text + "]";
        reviewer.error(list_at, false,
                       subject(list_at) + " is " + describe(*publishers, reviewer.place(list_at)) +
                           "; it must be an array of certificate subjects" + fix + ".");
        return;
    }
    for (std::size_t i = 0; i < publishers->elements.size(); ++i) {
        const JsonValue& publisher = publishers->elements[i];
        const JsonPath item_at = child(list_at, std::to_string(i));
        if (!publisher.is_string()) {
            reviewer.error(item_at, false,
                           subject(item_at) + " is " + describe(publisher, reviewer.place(item_at)) +
                               "; each publisher must be a certificate subject as a string, such as " + example + ".");
        } else if (!parse_x500_name(publisher.text)) {
            reviewer.error(item_at, false,
                           subject(item_at) + " " + json_string(publisher.text) +
                               " isn't a certificate subject: write its attributes as TYPE=value separated by commas, "
                               "as Windows shows the certificate's subject, such as " + example + ".");
        }
    }
}

// "updates": {"feed": URL}. The runtime would quietly take a bad one for no updates at all.
void review_updates(Reviewer& reviewer, const JsonValue& root, const std::optional<std::string>& version) {
    const JsonValue* updates = root.find("updates");
    if (updates == nullptr) return;
    const JsonPath at{"updates"};
    if (!updates->is_object()) {
        reviewer.error(at, false,
                       subject(at) + " is " + describe(*updates, reviewer.place(at)) +
                           "; it must be an object, such as {\"feed\": \"https://example.com/notes/feed.json\"}.");
        return;
    }
    review_keys(reviewer, *updates, at, kUpdatesKeys, false);
    review_publishers(reviewer, *updates, at);
    const auto feed = review_text(reviewer, *updates, at, "feed", true, "https://example.com/notes/feed.json");
    if (!feed) return;
    if (auto problem = update_url_problem(*feed)) {
        reviewer.error(child(at, "feed"), false, subject(child(at, "feed")) + " " + json_string(*feed) + " " + *problem + ".");
    }
    if (!version || !is_comparable_version(*version)) {
        reviewer.error({"version"}, false,
                       "The manifest has \"updates\", so its \"version\" must be numbers separated by dots, such as "
                       "\"1.4.2\", to be compared with the feed's" +
                           (version ? std::string(" (it is ") + json_string(*version) + ")" : std::string(" (it has none)")) +
                           ".");
    }
}

std::string position_text(const TextPosition& at) {
    return "line " + std::to_string(at.line) + ", column " + std::to_string(at.column);
}

// Where the JSON reader stopped, read back from its sentence ("... at line L, column C"), and
// the usual cause of a stop at that place in a hand-written manifest: a comment or a trailing
// comma, which JavaScript allows and JSON doesn't.
std::optional<TextPosition> syntax_error_place(std::string_view error) {
    const std::size_t at = error.rfind(" at line ");
    if (at == std::string_view::npos) return std::nullopt;
    TextPosition place;
    if (std::sscanf(std::string(error.substr(at)).c_str(), " at line %zu, column %zu", &place.line, &place.column) != 2) {
        return std::nullopt;
    }
    return place;
}

std::string syntax_error_cause(std::string_view text, const TextPosition& place) {
    std::size_t offset = 0;
    for (std::size_t line = 1; line < place.line && offset < text.size(); ++offset) {
        if (text[offset] == '\n') ++line;
    }
    for (std::size_t column = 1; column < place.column && ++offset < text.size();) {
        if ((static_cast<unsigned char>(text[offset]) & 0xC0) != 0x80) ++column;
    }
    const std::string_view rest = text.substr(std::min(offset, text.size()));
    if (rest.starts_with("//") || rest.starts_with("/*")) return " JSON has no comments: remove it.";
    if (rest.starts_with("}") || rest.starts_with("]")) {
        const std::size_t before = text.substr(0, offset).find_last_not_of(" \t\r\n");
        if (before != std::string_view::npos && text[before] == ',') {
            return " JSON allows no comma after the last member or element: remove the one before it.";
        }
    }
    return {};
}

// "languages": "all", or a list of language tags; which tags the packer has is its own check.
void review_languages(Reviewer& reviewer, const JsonValue& root) {
    const JsonValue* languages = root.find("languages");
    if (languages == nullptr || (languages->is_string() && languages->text == "all")) return;
    const JsonPath at{"languages"};
    const char* fix = "; write \"all\" or a list of language tags, such as [\"de\", \"fr\", \"pt-BR\"].";
    if (!languages->is_array()) {
        reviewer.error(at, false, subject(at) + " is " + describe(*languages, reviewer.place(at)) + fix);
        return;
    }
    for (std::size_t i = 0; i < languages->elements.size(); ++i) {
        const JsonValue& tag = languages->elements[i];
        if (tag.is_string() && is_language_tag(tag.text)) continue;
        const JsonPath element = child(at, std::to_string(i));
        reviewer.error(element, false, subject(element) + " is " + describe(tag, reviewer.place(element)) +
                                           ", not a language tag" + fix);
    }
}

// "appUserModelId": what Windows refuses is an error (the installer would leave it out), a form
// other than Company.Product[.SubProduct[.Version]] only a warning.
void review_app_user_model_id(Reviewer& reviewer, const JsonValue& root) {
    const auto id = review_text(reviewer, root, {}, "appUserModelId", false, "ExampleLtd.Notes");
    if (!id) return;
    const JsonPath at{"appUserModelId"};
    const std::string what = subject(at) + " " + json_string(*id);
    if (!usable_app_user_model_id(*id)) {
        std::string why = "is too long: Windows takes at most 128 characters";
        if (id->empty()) {
            why = "is empty: leave the key out, or give the id, such as \"ExampleLtd.Notes\"";
        } else if (id->find(' ') != std::string::npos) {
            why = "has a space, which Windows refuses in an AppUserModelID: leave the spaces out";
        } else if (std::any_of(id->begin(), id->end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
            why = "has a control character, which Windows refuses in an AppUserModelID";
        }
        reviewer.error(at, false, what + " " + why + ".");
        return;
    }
    std::size_t sections = 1;
    bool empty_section = id->front() == '.' || id->back() == '.' || id->find("..") != std::string::npos;
    for (char c : *id) sections += c == '.' ? 1 : 0;
    if (sections < 2 || sections > 4 || empty_section) {
        reviewer.warning(at, false,
                         what + " isn't of the form Windows recommends, Company.Product[.SubProduct[.Version]], "
                                "such as \"ExampleLtd.Notes\".");
    }
}

// "protocols": URL schemes of the app's own, each once.
void review_protocols(Reviewer& reviewer, const JsonValue& root) {
    const JsonValue* protocols = root.find("protocols");
    if (protocols == nullptr) return;
    const JsonPath at{"protocols"};
    if (!protocols->is_array()) {
        std::string fix = ", such as [\"examplenotes\"]";
        if (protocols->is_string()) fix = ": write [" + reviewer.place(at)->text + "]";
        reviewer.error(at, false, subject(at) + " is " + describe(*protocols, reviewer.place(at)) +
                                      "; it must be an array of URL schemes" + fix + ".");
        return;
    }
    std::string seen;
    std::size_t count = 0;
    for (std::size_t i = 0; i < protocols->elements.size(); ++i) {
        const JsonValue& scheme = protocols->elements[i];
        const JsonPath element = child(at, std::to_string(i));
        if (!scheme.is_string()) {
            reviewer.error(element, false, subject(element) + " is " + describe(scheme, reviewer.place(element)) +
                                               "; each URL scheme must be a string, such as \"examplenotes\".");
            continue;
        }
        const std::string what = subject(element) + " " + json_string(scheme.text);
        if (!usable_url_scheme(scheme.text)) {
            // "notes://" or "notes:": the scheme is the part before the colon.
            const std::string before_colon = scheme.text.substr(0, scheme.text.find(':'));
            std::string fix;
            if (before_colon.size() < scheme.text.size() && usable_url_scheme(before_colon)) {
                fix = ": write " + json_string(before_colon) + ", without the colon";
            }
            const std::string why = scheme.text.size() > kMaxUrlSchemeLength
                                        ? " is longer than 255 characters, the most a registry key's name may have"
                                        : " isn't a URL scheme: a letter, then letters, digits, \"+\", \"-\" or \".\"";
            reviewer.error(element, false, what + why + fix + ".");
            continue;
        }
        if (reserved_url_scheme(scheme.text)) {
            reviewer.error(element, false,
                           what + " is a scheme that Windows or the browsers handle themselves: registering it "
                                  "would take every such link over. Choose one of the app's own, such as "
                                  "\"examplenotes\" (docs/packer.md lists the schemes refused).");
            continue;
        }
        if (class_key_scheme(scheme.text)) {
            reviewer.error(element, false,
                           what + " is the name of a class key that Windows or other programs keep (such as "
                                  "CLSID, Directory or exefile): registering it would change that class for the "
                                  "user, and removing it could delete another program's settings. Choose one of "
                                  "the app's own, such as \"examplenotes\" (docs/packer.md lists the names "
                                  "refused).");
            continue;
        }
        if (lists_scheme(seen, scheme.text)) {
            reviewer.error(element, false, what + " is given twice; URL schemes are compared without case. Keep one.");
            continue;
        }
        if (!seen.empty()) seen += '|';
        seen += scheme.text;
        if (++count == kMaxUrlProtocols + 1) {
            reviewer.error(element, false,
                           subject(at) + " has more than 16 URL schemes, the most an installer registers; keep the "
                                         "16 the app needs.");
        }
    }
}

// "license": the licence file's name, beside the manifest; "allowFolderChoice": true or false.
// The file itself is read and judged by the build (license_text.h).
void review_install_page(Reviewer& reviewer, const JsonValue& root) {
    if (auto license = review_text(reviewer, root, {}, "license", false, "LICENSE.txt"); license && license->empty()) {
        reviewer.error({"license"}, false,
                       "The manifest's \"license\" is empty; name the licence file beside the manifest, such as "
                       "\"LICENSE.txt\", or leave the key out.");
    }
    const JsonValue* choice = root.find("allowFolderChoice");
    if (choice != nullptr && !choice->is_boolean()) {
        const JsonPath at{"allowFolderChoice"};
        reviewer.error(at, false, subject(at) + " is " + describe(*choice, reviewer.place(at)) +
                                      "; it must be true or false.");
    }
}

// "hooks": each an array of at most 16 strings without a NUL; "removingMayRefuse" true or false.
// The runtime would quietly start no hook at all for one it can't take as written.
void review_hooks(Reviewer& reviewer, const JsonValue& root) {
    const JsonValue* refuse = root.find("removingMayRefuse");
    if (refuse != nullptr && !refuse->is_boolean()) {
        const JsonPath at{"removingMayRefuse"};
        reviewer.error(at, false, subject(at) + " is " + describe(*refuse, reviewer.place(at)) +
                                      "; it must be true or false.");
    }
    const JsonValue* hooks = root.find("hooks");
    const bool has_removing = hooks != nullptr && hooks->is_object() && hooks->find("removing") != nullptr;
    if (refuse != nullptr && refuse->is_boolean() && refuse->boolean && !has_removing) {
        reviewer.warning({"removingMayRefuse"}, false,
                         "The manifest's \"removingMayRefuse\" is true, but there is no \"hooks\".\"removing\" to "
                         "refuse with; add one, such as \"hooks\": {\"removing\": [\"--removing\"]}.");
    }
    if (hooks == nullptr) {
        return;
    }
    const JsonPath at{"hooks"};
    if (!hooks->is_object()) {
        reviewer.error(at, false, subject(at) + " is " + describe(*hooks, reviewer.place(at)) +
                                      "; it must be an object, such as {\"installed\": [\"--register\"]}.");
        return;
    }
    review_keys(reviewer, *hooks, at, kHookKeys, false);
    for (std::string_view key : kHookKeys) {
        const JsonValue* list = hooks->find(std::string(key));
        if (list == nullptr) continue;
        const JsonPath list_at = child(at, std::string(key));
        if (!list->is_array()) {
            std::string fix = ", such as [\"--register\"]";
            if (list->is_string()) fix = ": write [" + reviewer.place(list_at)->text + "]";
            reviewer.error(list_at, false, subject(list_at) + " is " + describe(*list, reviewer.place(list_at)) +
                                               "; it must be an array of the arguments the app's exe is started with" +
                                               fix + ".");
            continue;
        }
        if (list->elements.size() > kMaxHookArguments) {
            reviewer.error(list_at, false, subject(list_at) + " has " + decimal_text(list->elements.size()) +
                                               " arguments; a hook may have at most 16. Keep the ones the app needs, "
                                               "or let it read the rest from a file of its own.");
        }
        for (std::size_t i = 0; i < list->elements.size(); ++i) {
            const JsonValue& argument = list->elements[i];
            const JsonPath element = child(list_at, std::to_string(i));
            if (!argument.is_string()) {
                std::string fix;
                if (argument.is_number() || argument.is_boolean()) {
                    fix = ": write " + as_string_literal(argument, reviewer.place(element));
                }
                reviewer.error(element, false, subject(element) + " is " + describe(argument, reviewer.place(element)) +
                                                   "; each argument must be a string" + fix + ".");
            } else if (argument.text.find('\0') != std::string::npos) {
                reviewer.error(element, false, subject(element) + " has the character U+0000, which would cut the "
                                                                  "command line short; leave it out.");
            }
        }
    }
}

}  // namespace

bool reserved_url_scheme(std::string_view scheme) {
    const std::string lowered = lower_ascii(scheme);
    for (std::string_view reserved : reserved_url_schemes()) {
        const bool prefix = reserved.ends_with('*');
        if (prefix ? lowered.starts_with(reserved.substr(0, reserved.size() - 1)) : lowered == reserved) return true;
    }
    return false;
}

const std::vector<std::string_view>& reserved_url_schemes() {
    // The web's own schemes and those browsers run inside the page; Windows' own handlers (its
    // settings, store and apps: ms-*, its shell and search pages, Edge); and the ones every mail,
    // phone and chat program competes for. An app that needs one of these registers as one of
    // their handlers through Windows' Default apps, not by taking the scheme over.
    static const std::vector<std::string_view> list = {
        "http", "https", "ftp", "file", "ws", "wss", "about", "blob", "data", "javascript", "vbscript", "view-source",
        "ms-*", "microsoft-edge*", "shell", "search", "search-ms", "res", "mailto", "tel", "callto"};
    return list;
}

bool class_key_scheme(std::string_view scheme) {
    const std::string lowered = lower_ascii(scheme);
    // Every "<type>file" class (exefile, lnkfile, batfile, txtfile) and the packaged apps' classes.
    if (lowered.ends_with("file") || lowered.starts_with("appx")) return true;
    const auto& names = class_key_names();
    return std::find(names.begin(), names.end(), lowered) != names.end();
}

const std::vector<std::string_view>& class_key_names() {
    // HKEY_CLASSES_ROOT's own keys: COM's tables, the shell's classes for every file, folder,
    // drive and the desktop, the per-application and per-kind registrations, and Windows' other
    // well-known classes. A scheme of one of these names would be written into that key.
    static const std::vector<std::string_view> list = {
        "clsid", "appid", "interface", "typelib", "record", "filetype", "mime", "protocols", "directory", "drive",
        "folder", "*", "allfilesystemobjects", "applications", "systemfileassociations", "unknown", "network",
        "printers", "desktopbackground", "libraryfolder", "compressedfolder", "internetshortcut", "extensions",
        "activatableclasses", "packagedcom", "wow6432node", "installer", "mediafoundation", "directshow", "filter",
        "msi.package", "msi.patch", "audiocd", "dvd"};
    return list;
}

ManifestReview review_manifest(std::string_view text, const AppFacts& app) {
    ManifestReview review;
    auto& problems = review.problems;
    // Not parsed at all: the runtime refuses it unread, and its parse could take gigabytes.
    if (text.size() > kMaxManifestSize) {
        problems.push_back({Severity::error, std::nullopt, manifest_size_problem(text.size())});
        return review;
    }
    // The runtime's decision comes first: what it refuses, the packer refuses too.
    auto base = check_app_manifest(text);
    auto parsed = parse_strict_json(text);
    if (!parsed) {
        const auto place = syntax_error_place(parsed.error());
        std::string said = base.ok() ? "The manifest isn't valid JSON." : base.error();
        if (place) said += syntax_error_cause(text, *place);
        problems.push_back({Severity::error, place, std::move(said)});
        return review;
    }
    const JsonValue& root = *parsed;
    const JsonPlaces places = locate_json_values(text);
    Reviewer reviewer(places, problems);
    if (!root.is_object()) {
        reviewer.error({}, false, base.ok() ? "The manifest must be a JSON object." : base.error());
        return review;
    }

    for (const RepeatedKey& repeated : places.repeated) {
        ManifestProblem problem{Severity::error, repeated.again,
                                subject(repeated.path) + " is given twice (first at " + position_text(repeated.first) +
                                    "); the installer would take the last one. Keep one."};
        problems.push_back(std::move(problem));
    }

    review_keys(reviewer, root, {}, kTopKeys, true);
    review_text(reviewer, root, {}, "$schema", false, "app-manifest.schema.json");
    review_text(reviewer, root, {}, "name", true, "Notes");
    if (auto id = review_text(reviewer, root, {}, "id", true, "com.example.notes")) review_id(reviewer, {"id"}, *id);
    if (auto exe = review_text(reviewer, root, {}, "exe", true, "Notes.exe")) review_exe(reviewer, {"exe"}, *exe);
    const auto version = review_text(reviewer, root, {}, "version", false, "1.4.2");
    if (version) review_version(reviewer, {"version"}, *version);
    review_updates(reviewer, root, version);
    review_text(reviewer, root, {}, "publisher", false, "Example Ltd");
    review_languages(reviewer, root);
    review_app_user_model_id(reviewer, root);
    review_protocols(reviewer, root);
    review_hooks(reviewer, root);
    review_install_page(reviewer, root);

    if (const JsonValue* documents = root.find("documents"); documents != nullptr) {
        const JsonPath at{"documents"};
        if (!documents->is_array()) {
            const std::string fix = documents->is_object()
                                        ? ": put brackets around it, [{...}]"
                                        : ", such as [{\"name\": \"Notes document\", \"extensions\": [\"note\"]}]";
            reviewer.error(at, false,
                           subject(at) + " is " + describe(*documents, places.find(at)) +
                               "; it must be an array of document types (objects)" + fix + ".");
        } else {
            std::map<std::u32string, std::size_t> seen;
            for (std::size_t i = 0; i < documents->elements.size(); ++i) {
                review_document(reviewer, documents->elements[i], child(at, std::to_string(i)), i + 1, app, seen);
            }
        }
    }

    if (base.ok()) {
        for (std::size_t i = 0; i < base->documents.size(); ++i) {
            const std::string id = prog_id(base->id, base->documents[i]);
            const auto common = std::find_if(common_prog_ids().begin(), common_prog_ids().end(),
                                             [&](std::string_view entry) { return folded(entry.substr(0, entry.find('|'))) == folded(id); });
            if (common == common_prog_ids().end()) continue;
            const JsonPath where = child(JsonPath{"documents"}, std::to_string(i));
            reviewer.warning(where, false,
                             subject(where) + " gets the ProgID " +
                                 json_string(id) + ", which " + std::string(common->substr(common->find('|') + 1)) +
                                 " registers too: installing overwrites its file type, and that program's own "
                                 "registration survives only when it rewrote it since. Change \"id\" or the first "
                                 "extension.");
        }
    }

    // The review is meant to cover every reason of the runtime's; should one slip through, the
    // runtime's own sentence still refuses the manifest.
    if (!base.ok() && !review.refused()) problems.push_back({Severity::error, std::nullopt, base.error()});
    std::stable_sort(problems.begin(), problems.end(), [](const ManifestProblem& a, const ManifestProblem& b) {
        if (a.at.has_value() != b.at.has_value()) return !a.at.has_value();
        return a.at && *a.at < *b.at;
    });
    if (!review.refused()) review.manifest = std::move(*base);
    return review;
}

Expected<AppManifest, std::string> check_manifest_for_packing(std::string_view json) {
    ManifestReview review = review_manifest(json);
    for (const ManifestProblem& problem : review.problems) {
        if (problem.severity == Severity::error) return unexpected(problem.text);
    }
    return std::move(*review.manifest);
}

bool ManifestReview::refused() const {
    return std::any_of(problems.begin(), problems.end(),
                       [](const ManifestProblem& p) { return p.severity == Severity::error; });
}

const std::vector<std::string_view>& common_prog_ids() {
    // ProgIDs of the form <name>.<more>, as an app's are, that widely installed programs
    // register, each with its program after the bar: a short list of the likely accidents
    // (an app whose id is "Python" and whose first extension is "File"), not a catalogue.
    static const std::vector<std::string_view> list = {
        "Python.File|Python",
        "Python.NoConFile|Python",
        "Python.CompiledFile|Python",
        "Python.ArchiveFile|Python",
        "Word.Document.8|Microsoft Word",
        "Word.Document.12|Microsoft Word",
        "Excel.Sheet.8|Microsoft Excel",
        "Excel.Sheet.12|Microsoft Excel",
        "PowerPoint.Show.8|Microsoft PowerPoint",
        "PowerPoint.Show.12|Microsoft PowerPoint",
        "AcroExch.Document|Adobe Acrobat",
        "Microsoft.PowerShellScript.1|Windows PowerShell",
        "VLC.mp4|VLC",
        "VLC.mp3|VLC",
        "7-Zip.zip|7-Zip",
        "7-Zip.7z|7-Zip",
    };
    return list;
}

const std::vector<std::string_view>& program_extensions() {
    static const std::vector<std::string_view> list = {
        "appinstaller", "application", "appx", "appxbundle", "bat", "cmd", "com", "cpl", "exe", "gadget",
        "hta",          "inf",         "js",   "jse",        "lnk", "msc", "msi", "msix", "msixbundle", "msp",
        "pif",          "ps1",         "psc1", "reg",        "scf", "scr", "sct", "shb", "shs", "url",
        "vb",           "vbe",         "vbs",  "ws",         "wsc", "wsf", "wsh"};
    return list;
}

}  // namespace plinth::pack
