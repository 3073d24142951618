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

// Only a key known to be missing is one the install makes: one it can't look at may be another
// program's.
bool missing(platform::Platform& platform, const std::string& name) {
    const auto counts = platform.registry.key_counts(platform::RegistryRoot::current_user, to_utf16(kClasses + name));
    return !counts && counts.error() == platform::codes::kFileNotFound;
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
            const bool made = missing(platform, key);
            if (made || missing(platform, open_with)) add(list, open_with);
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
