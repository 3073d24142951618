#include "registry/url_protocols.h"

#include <initializer_list>
#include <string>

#include "package/app_files.h"
#include "package/link_rules.h"
#include "log/run_log.h"
#include "registry/created_keys.h"
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

using platform::RegistryRoot;

// The counts of a key, the user's unless `root` says. Out of line: every check of a scheme's keys
// asks it.
[[gnu::noinline]] platform::SysResult<platform::KeyCounts> counts_of(platform::Platform& platform, std::string_view key,
                                                                     RegistryRoot root = RegistryRoot::current_user) {
    return platform.registry.key_counts(root, to_utf16(key));
}

constexpr char kUrlProtocol[] = "URL Protocol";
constexpr char kCommand[] = "\\shell\\open\\command";

// Whether the scheme's key is a URL protocol whose open command starts the app: only such a
// key is ours to rewrite or delete.
bool ours(platform::Platform& platform, const std::string& key, const std::u16string& folded_app) {
    return read_text_value(platform, key, kUrlProtocol) &&
           open_command_owner(platform, key, folded_app) == CommandOwner::app;
}

// Whether a class key of that name exists, the user's or the machine's: a scheme named like one
// (a ProgID, CLSID, Directory) would turn that class into a URL protocol, or override it for the
// user, and the removal would then delete what another program keeps there.
bool class_key_exists(platform::Platform& platform, std::string_view scheme) {
    return counts_of(platform, scheme_key(scheme)).ok() || counts_of(platform, scheme, RegistryRoot::classes_root).ok();
}

// Whether the key holds nothing but some of what the install writes, its command (if it has one
// left) the app's: what an install or a removal that stopped half-way leaves of a scheme of ours.
bool only_what_is_written(platform::Platform& platform, const std::string& key, const std::u16string& folded_app) {
    const struct {
        const char* subkey;
        std::initializer_list<const char*> values;
        std::initializer_list<const char*> subkeys;
    } parts[] = {
        {"", {"", kUrlProtocol}, {"DefaultIcon", "shell"}},
        {"\\DefaultIcon", {""}, {}},
        {"\\shell", {}, {"open"}},
        {"\\shell\\open", {}, {"command"}},
        {kCommand, {""}, {}},
    };
    for (const auto& part : parts) {
        const std::string path = key + part.subkey;
        const auto counts = counts_of(platform, path);
        if (!counts) {
            if (counts.error() == platform::codes::kFileNotFound) continue;
            return false;
        }
        std::uint32_t values = 0;
        for (const char* name : part.values) values += read_text_value(platform, path, name) ? 1 : 0;
        std::uint32_t subkeys = 0;
        for (const char* name : part.subkeys) subkeys += counts_of(platform, path + "\\" + name) ? 1 : 0;
        if (counts->values != values || counts->subkeys != subkeys) return false;
    }
    return open_command_owner(platform, key, folded_app) != CommandOwner::other;
}

// Ours to rewrite or delete: a URL protocol opening the app; or, for a scheme the install is known
// to have begun (`remembered`), what a run that stopped half-way left of it.
bool ours_or_left(platform::Platform& platform, std::string_view scheme, std::string_view remembered,
                  const std::u16string& folded_app) {
    const std::string key = scheme_key(scheme);
    return ours(platform, key, folded_app) ||
           (lists_scheme(remembered, scheme) && only_what_is_written(platform, key, folded_app));
}

// Each scheme of `list` that `keep` doesn't have goes while it is ours, and of its key only the
// values the install wrote, and the subkeys they leave empty: what another program added stays.
// "URL Protocol" goes last, so that a removal stopped on the way leaves a key still ours.
// One that a hand-edited entry turned into something else (a path to another key) is passed
// over: only a usable scheme's key is touched.
void remove_schemes(platform::Platform& platform, std::string_view list, std::string_view keep,
                    std::string_view remembered, const Path& app_path) {
    const std::u16string app = fold_case(path_text(app_path));
    while (!list.empty()) {
        const std::string_view scheme = next_scheme(list);
        if (!usable_url_scheme(scheme) || lists_scheme(keep, scheme)) continue;
        if (!ours_or_left(platform, scheme, remembered, app)) continue;
        const std::string key = scheme_key(scheme);
        const struct {
            const char* subkey;
            const char* name;
        } written[] = {{"", ""}, {"\\DefaultIcon", ""}, {kCommand, ""}, {"", kUrlProtocol}};
        for (const auto& value : written) delete_value(platform, key + value.subkey, value.name);
        for (const char* subkey : {kCommand, "\\shell\\open", "\\shell", "\\DefaultIcon", ""}) {
            delete_key_if_empty(platform, key + subkey);
        }
    }
}

}  // namespace

Status write_url_protocols(platform::Platform& platform, const AppManifest& manifest, const Path& app_path) {
    const std::string entry = uninstall_key_path(manifest.id);
    const auto before = read_text_value(platform, entry, kUrlProtocolsValue);
    if (before) remove_schemes(platform, *before, manifest.protocols, *before, app_path);
    // Remembered before they are made, so that an install that stops half-way leaves none
    // behind that the removal can't find. A manifest without schemes lists none.
    const std::string app = path_text(app_path);
    const std::u16string folded_app = fold_case(app);
    const std::string_view remembered = before ? std::string_view(*before) : std::string_view();
    std::string schemes;
    for (std::string_view list = manifest.protocols; !list.empty();) {
        const std::string_view scheme = next_scheme(list);
        if (!ours_or_left(platform, scheme, remembered, folded_app) && class_key_exists(platform, scheme)) {
            platform.log->write("Left out the URL scheme, whose key is another program's:", scheme);
            continue;
        }
        if (!schemes.empty()) schemes += '|';
        schemes += scheme;
    }
    if (schemes.empty()) {
        if (before) delete_value(platform, entry, kUrlProtocolsValue);
        return success();
    }
    if (auto done = write_key_value(platform, entry, kUrlProtocolsValue, schemes); !done) return done;
    const std::string description = "URL:" + manifest.name;
    const std::string icon = app + ",0";
    const std::string command = "\"" + app + "\" \"%1\"";
    const struct {
        const char* subkey;
        const char* name;
        std::string_view text;
    } values[] = {
        {"", "", description},
        {"", kUrlProtocol, {}},
        {"\\DefaultIcon", "", icon},
        {kCommand, "", command},
    };
    for (std::string_view list = schemes; !list.empty();) {
        const std::string key = scheme_key(next_scheme(list));
        for (const auto& value : values) {
            if (auto done = write_key_value(platform, key + value.subkey, value.name, value.text); !done) return done;
        }
    }
    return success();
}

void remove_url_protocols(platform::Platform& platform, const AppManifest& manifest, const Path& app_path) {
    // The manifest's schemes count as begun too: a removal stopped half-way has deleted the
    // entry's list with the entry, and the next one finds what is left through the manifest.
    // Only whether a list names a scheme counts, not where: one list serves both passes.
    std::string remembered = manifest.protocols;
    if (auto before = read_text_value(platform, uninstall_key_path(manifest.id), kUrlProtocolsValue)) {
        remembered += '|';
        remembered += *before;
        remove_schemes(platform, *before, {}, remembered, app_path);
    }
    remove_schemes(platform, manifest.protocols, {}, remembered, app_path);
}

}  // namespace plinth
