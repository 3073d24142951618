// The translated texts an installer carries: the tables shipped in share/plinth/languages/, the
// developer's own (--texts), the choice of languages, and the gate every table passes.
//
// A table file is a JSON object of language tags, each an object of message keys and texts:
//   {"de": {"install.button": "Installieren", ...}}
// Every message key and its English text is in runtime/setup/texts/messages.h.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "byte_io.h"
#include "common/result.h"

namespace plinth::pack {

using TextTable = std::map<std::string, std::string>;     // key -> text
using TextTables = std::map<std::string, TextTable>;      // tag -> table

// The folders where the packer looks for its shipped tables, in order.
std::vector<std::filesystem::path> languages_folder_candidates(const std::filesystem::path& packer_path);

// A table file's tables; `shown` names the file in the failure text. Only the JSON's shape is
// checked here: the texts themselves pass `table_problems`.
Expected<TextTables, std::string> parse_table_file(std::string_view json, const std::string& shown);

// Every *.json table file in the folder, merged.
Expected<TextTables, std::string> read_shipped_tables(const std::filesystem::path& folder);

// What is wrong with one language's table, a sentence each naming the language and the key and
// saying what to write: a key that is no message's, an empty text, a control character but tab
// and line feed (where it is), placeholders other than the English text's. A `complete` table (a language that isn't shipped) must also have every key.
std::vector<std::string> table_problems(std::string_view tag, const TextTable& table, bool complete);

// The languages asked for: nothing means "all". `--languages` ("all", "none" or tags separated
// by commas) wins over the manifest's "languages".
Expected<std::optional<std::vector<std::string>>, std::string> chosen_languages(
    std::string_view manifest_json, const std::optional<std::string>& option);

// The tables to embed: the shipped ones with the developer's texts laid over them (a key of
// theirs replaces the shipped text), cut down to the chosen languages. English is built in: asked
// for, it adds nothing. Refuses (with every problem, one per line) a chosen language that nobody
// has, a developer's language left out of the choice, every table problem, and a table larger
// than the installer reads (`kMaxTableSize`).
Expected<TextTables, std::string> gather_languages(const TextTables& shipped, const TextTables& added,
                                                   const std::optional<std::vector<std::string>>& chosen);

// The languages resource for the tables, each compressed with zlib, and what each language cost.
struct LanguagesResource {
    Bytes bytes;
    std::vector<std::pair<std::string, std::size_t>> costs;  // tag -> bytes in the resource
};
LanguagesResource build_languages(const TextTables& tables);

}  // namespace plinth::pack
