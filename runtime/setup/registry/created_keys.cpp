#include "registry/created_keys.h"

#include <string>

#include "package/link_rules.h"
#include "registry/document_types.h"
#include "registry/registry_access.h"
#include "registry/uninstall_entry.h"

namespace plinth {
namespace {

constexpr char kClasses[] = "Software\\Classes\\";
constexpr std::string_view kOpenWith = "\\OpenWithProgids";

// Whether the key is missing, so that the install makes it. One that can't be looked at may be
// another program's and is never taken for one the install makes: the install stops there, as
// the write that follows would.
Status look_up(platform::Platform& platform, const std::string& name, bool& missing) {
    const std::string path = kClasses + name;
    const auto counts = platform.registry.key_counts(platform::RegistryRoot::current_user, to_utf16(path));
    missing = !counts && counts.error() == platform::codes::kFileNotFound;
    if (!counts && !missing) return registry_failure(path, counts.error());
    return success();
}

void add(std::string& list, const std::string& name) {
    if (lists_scheme(list, name)) return;
    if (!list.empty()) list += '|';
    list += name;
}

// ".ext" or ".ext\OpenWithProgids", the extension one key name: nothing else is ever deleted.
bool extension_key(std::string_view name) {
    if (name.ends_with(kOpenWith)) name.remove_suffix(kOpenWith.size());
    return name.size() > 1 && name.front() == '.' && name.find('\\') == std::string_view::npos;
}

}  // namespace

Status remember_created_keys(platform::Platform& platform, std::string_view app_id,
                             const std::vector<DocumentType>& types) {
    const std::string entry = uninstall_key_path(app_id);
    const std::string before = read_text_value(platform, entry, kCreatedClassKeysValue).value_or("");
    std::string list = before;
    for (const DocumentType& type : types) {
        for (const std::string& extension : type.extensions) {
            const std::string key = "." + extension;
            const std::string open_with = key + std::string(kOpenWith);
            bool made = false;
            bool open_with_missing = false;
            if (auto looked = look_up(platform, key, made); !looked) return looked;
            if (!made) {
                if (auto looked = look_up(platform, open_with, open_with_missing); !looked) return looked;
            }
            if (made || open_with_missing) add(list, open_with);
            if (made) add(list, key);
        }
    }
    if (list == before) return success();
    return write_key_value(platform, entry, kCreatedClassKeysValue, list);
}

void remove_created_keys(platform::Platform& platform, std::string_view app_id) {
    const auto list = read_text_value(platform, uninstall_key_path(app_id), kCreatedClassKeysValue);
    if (!list) return;
    for (std::string_view rest = *list; !rest.empty();) {
        const std::string_view name = next_scheme(rest);
        if (extension_key(name)) delete_key_if_empty(platform, kClasses + std::string(name));
    }
}

void delete_key_if_empty(platform::Platform& platform, const std::string& key) {
    const auto counts = platform.registry.key_counts(platform::RegistryRoot::current_user, to_utf16(key));
    if (counts && counts->subkeys == 0 && counts->values == 0) delete_key(platform, key);
}

}  // namespace plinth
