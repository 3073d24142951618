#include "removal/removal_steps.h"

#include <string>
#include <string_view>

#include "deletion/file_deletion.h"
#include "deletion/leftover_sweep.h"
#include "failures/message_failure.h"
#include "hooks/app_hooks.h"
#include "locations/install_folder.h"
#include "log/run_log.h"
#include "package/app_files.h"
#include "locations/shortcut_list.h"
#include "registry/created_keys.h"
#include "registry/document_types.h"
#include "registry/installed_files.h"
#include "registry/registry_access.h"
#include "registry/url_protocols.h"
#include "registry/uninstall_entry.h"
#include "deletion/app_files_deletion.h"

namespace plinth {
namespace {

// A key path with an empty component ("a\\b", a leading or trailing backslash) can name one of
// its ancestors: the registry reads "Uninstall\\" as the Uninstall key itself. Deleting that
// tree would take every other program's entry with it, so such a key is left alone. The id
// and the extensions come from the manifest unchecked, so this can happen.
bool names_only_itself(std::string_view key_path) {
    return !key_path.empty() && key_path.front() != '\\' && key_path.back() != '\\' &&
           key_path.find("\\\\") == std::string_view::npos;
}

void delete_key_and_tree(platform::Platform& platform, const std::string& key_path) {
    if (!names_only_itself(key_path)) return;
    delete_tree(platform, key_path);
    delete_key(platform, key_path);
}

void remove_associations(platform::Platform& platform, const AppManifest& manifest, const Path& app_path) {
    const std::u16string app = fold_case(path_text(app_path));
    for (const DocumentType& type : manifest.documents) {
        const std::string id = prog_id(manifest.id, type);
        const std::string id_key = "Software\\Classes\\" + id;
        // Only a ProgID whose open command still starts this install's exe is ours to delete.
        // Another program's (one of the same name, or one that rewrote it since) stays, with
        // the references to it. Without a command the key stays too, but the references go: an
        // earlier removal that stopped half-way leaves them pointing at nothing.
        const CommandOwner owner = open_command_owner(platform, id_key, app);
        if (owner == CommandOwner::other) continue;
        if (owner == CommandOwner::app) delete_key_and_tree(platform, id_key);
        for (const std::string& extension : type.extensions) {
            const std::string extension_key = "Software\\Classes\\." + extension;
            delete_value(platform, extension_key + "\\OpenWithProgids", id);
            // The default handler goes only while it is still ours, owned or not at install:
            // another program that took the extension over since keeps it.
            const auto handler = read_text_value(platform, extension_key, "");
            if (handler && *handler == id) delete_value(platform, extension_key, "");
        }
    }
    if (!manifest.documents.empty()) notify_associations_changed(platform);
}

// Not found, and the answers that say no such file can exist: an invalid name (123), a bad path
// (161), a name too long (206), a folder name that isn't valid (267). Deleting such a path can
// only fail the same way, which would read as "the app is open" on every try.
bool known_missing(const platform::SysResult<platform::FileInfo>& info) {
    if (info) return false;
    switch (info.error()) {
        case platform::codes::kFileNotFound:
        case platform::codes::kPathNotFound:
        case platform::codes::kInvalidName:
        case platform::codes::kBadPathName:
        case platform::codes::kFileNameTooLong:
        case platform::codes::kInvalidDirectoryName:
            return true;
        default:
            return false;
    }
}

bool holds_file(const platform::SysResult<platform::FileInfo>& info) { return info && !info->is_folder; }

// The installed version's other files: those of its own table, and those its entry lists (a
// failed update may have left the previous version's there).
void remove_other_files(platform::Platform& platform, const SetupState& state, const Path& folder) {
    std::vector<std::string> paths;
    for (const AppFile& file : state.files) paths.push_back(file.path);
    if (auto listed = read_installed_files(platform, state.manifest.id); listed && *listed) {
        // The list is mostly this table again: a file named twice would be tried twice, the
        // second time as a deletion that fails and a look that finds nothing.
        for (std::string& path : paths_not_in(**listed, paths)) paths.push_back(std::move(path));
    }
    if (!paths.empty()) (void)delete_app_files(platform, folder, paths);
}

}  // namespace

Status remove_app(platform::Platform& platform, SetupState& state) {
    const AppManifest& manifest = state.manifest;
    const Path folder = logged_install_folder(platform, manifest);
    platform.log->write("Removal of version", manifest.version);
    const Path app_path = path_in(folder, manifest.exe);

    // Before anything goes, the app may clear up what is its own, or, when the manifest lets it,
    // say no by exiting with 1 (it is busy, or holds what the user hasn't saved).
    if (run_app_hook(platform, manifest, folder, app_path, HookKind::removing) == 1u) {
        if (manifest.hooks.removing_may_refuse) {
            return fail({manifest.name, " refused to be removed: it answered 1 when asked before its removal. Try "
                                        "again when it is ready, or ask its publisher why."});
        }
        platform.log->write("The removal goes on: the manifest doesn't let the app refuse it");
    }

    // First, and alone able to fail: while the app runs its exe can't be deleted, and then
    // nothing else may go either, so that quitting the app and trying again finishes the job.
    // Only a file that is known to be missing is passed over: one that merely can't be
    // examined (access denied, a sharing violation) may well be there, and reporting success
    // would delete the uninstall entry while the app stays behind.
    const auto app_info = platform.files.metadata(app_path);
    // The entry's folder comes from the user's registry, so it may be any folder: the other
    // files and the .old leftovers are deleted only where the app is, in a folder that holds
    // its exe or its uninstall.exe. Elsewhere they stay, and the rest of the removal goes on.
    const bool app_is_here = holds_file(app_info) ||
                             holds_file(platform.files.metadata(join_path(folder, u"uninstall.exe")));
    if (!known_missing(app_info) && delete_file(platform, app_path) != platform::codes::kSuccess) {
        return fail(Message::app_is_open, {manifest.name});
    }

    if (app_is_here) {
        remove_other_files(platform, state, folder);
        sweep_leftovers(platform, folder);
    } else {
        platform.log->write("Kept the folder's other files: neither the app nor uninstall.exe is in", folder);
    }
    // The desktop path too, whether or not a desktop shortcut was ever made.
    for (const Path& shortcut : shortcut_list(platform, manifest.name)) (void)delete_file(platform, shortcut);
    remove_associations(platform, manifest, app_path);
    remove_created_keys(platform, manifest.id);
    remove_url_protocols(platform, manifest, app_path);
    delete_key_and_tree(platform, uninstall_key_path(manifest.id));

    state.folder_to_delete = folder;
    state.done = true;
    return success();
}

}  // namespace plinth
