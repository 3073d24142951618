#include "registry/url_protocols.h"

#include <string>

#include "package/app_files.h"
#include "package/link_rules.h"
#include "registry/document_types.h"
#include "registry/registry_access.h"
#include "registry/uninstall_entry.h"

namespace plinth {
namespace {

std::string scheme_key(std::string_view scheme) {
    std::string key = "Software\\Classes\\";
    key += scheme;
    return key;
}

// Each scheme of `list` that `keep` doesn't have goes while its open command starts the app.
// One that a hand-edited entry turned into something else (a path to another key) is passed
// over: only a usable scheme's key is touched.
void remove_schemes(platform::Platform& platform, std::string_view list, std::string_view keep,
                    const Path& app_path) {
    const std::u16string app = fold_case(path_text(app_path));
    while (!list.empty()) {
        const std::string_view scheme = next_scheme(list);
        if (!usable_url_scheme(scheme) || lists_scheme(keep, scheme)) continue;
        const std::string key = scheme_key(scheme);
        if (open_command_owner(platform, key, app) != CommandOwner::app) continue;
        delete_tree(platform, key);
        delete_key(platform, key);
    }
}

}  // namespace

Status write_url_protocols(platform::Platform& platform, const AppManifest& manifest, const Path& app_path) {
    const std::string entry = uninstall_key_path(manifest.id);
    const auto before = read_text_value(platform, entry, kUrlProtocolsValue);
    if (before) remove_schemes(platform, *before, manifest.protocols, app_path);
    if (manifest.protocols.empty()) {
        if (before) delete_value(platform, entry, kUrlProtocolsValue);
        return success();
    }
    // Remembered before they are made, so that an install that stops half-way leaves none
    // behind that the removal can't find.
    if (auto done = write_key_value(platform, entry, kUrlProtocolsValue, manifest.protocols); !done) return done;
    const std::string app = path_text(app_path);
    const std::string description = "URL:" + manifest.name;
    const std::string none;
    const std::string icon = app + ",0";
    const std::string command = "\"" + app + "\" \"%1\"";
    const struct {
        const char* subkey;
        const char* name;
        const std::string& text;
    } values[] = {
        {"", "", description},
        {"", "URL Protocol", none},
        {"\\DefaultIcon", "", icon},
        {"\\shell\\open\\command", "", command},
    };
    for (std::string_view list = manifest.protocols; !list.empty();) {
        const std::string key = scheme_key(next_scheme(list));
        for (const auto& value : values) {
            if (auto done = write_key_value(platform, key + value.subkey, value.name, value.text); !done) return done;
        }
    }
    return success();
}

void remove_url_protocols(platform::Platform& platform, const AppManifest& manifest, const Path& app_path) {
    if (auto before = read_text_value(platform, uninstall_key_path(manifest.id), kUrlProtocolsValue)) {
        remove_schemes(platform, *before, {}, app_path);
    }
    remove_schemes(platform, manifest.protocols, {}, app_path);
}

}  // namespace plinth
