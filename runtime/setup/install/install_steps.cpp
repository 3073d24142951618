#include "install/install_steps.h"

#include <cstdint>
#include <vector>

#include "system_error/error_text.h"
#include "install/app_files_install.h"
#include "deletion/app_files_deletion.h"
#include "deletion/file_deletion.h"
#include "deletion/leftover_sweep.h"
#include "failures/message_failure.h"
#include "hooks/app_hooks.h"
#include "install/replace_and_write.h"
#include "install/shortcuts.h"
#include "locations/install_folder.h"
#include "log/run_log.h"
#include "package/payload.h"
#include "registry/installed_files.h"
#include "registry/registry_access.h"
#include "registry/uninstall_entry.h"
#include "registry/url_protocols.h"

namespace plinth {
namespace {

// Whether this process is the installed uninstall.exe itself, which must not be copied onto
// itself. A path that can't be resolved (normally: no uninstall.exe yet) means "no".
bool running_as(platform::Platform& platform, const Path& installer_path, const Path& uninstall_path) {
    const auto installer = platform.files.canonical_path(installer_path);
    if (!installer) return false;
    const auto uninstaller = platform.files.canonical_path(uninstall_path);
    return uninstaller && *installer == *uninstaller;
}

// The files staged and not yet put in place, deleted when the install stops before the swap
// takes them, so that a failure leaves the installed version as it was.
struct StagedFiles {
    StagedFiles(platform::Platform& platform, const UninstallEntryFacts& facts, const AppFiles& files)
        : platform(platform), facts(facts), files(files) {}
    ~StagedFiles() {
        if (app) (void)delete_file(platform, app_direct ? facts.app_path : staged_path(facts.app_path));
        if (others) delete_staged_app_files(platform, facts.install_folder, files, folders);
        if (uninstaller) (void)delete_file(platform, staged_path(facts.uninstall_path));
    }
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;

    platform::Platform& platform;
    const UninstallEntryFacts& facts;
    const AppFiles& files;
    StagedFolders folders;
    bool app = false;
    bool app_direct = false;  // written straight to its name
    bool others = false;
    bool uninstaller = false;
};

bool holds_file(platform::Platform& platform, const Path& folder, std::string_view name) {
    const auto info = platform.files.metadata(path_in(folder, name));
    return info && !info->is_folder;
}

// Whether the folder is the app's: it holds its uninstall.exe or the exe the entry names, or
// there is no entry and it is the folder named for the app. An entry's folder comes from the
// user's registry, so it may be any of their folders; the previous list and the .old sweep apply
// only where the app is.
bool is_apps_folder(platform::Platform& platform, const Path& folder, const RecordedInstall& recorded) {
    if (holds_file(platform, folder, "uninstall.exe")) return true;
    if (!recorded.exe) return true;
    const std::string_view exe = *recorded.exe;
    const std::string_view name = exe.substr(exe.find_last_of("\\/") + 1);
    return !name.empty() && holds_file(platform, folder, name);
}

// Fresh, a reinstall of the same version, or a change from the installed one.
void log_kind_of_install(platform::Platform& platform, const AppManifest& manifest,
                         const std::optional<std::string>& installed) {
    // One line written at one place, its phrase and value chosen.
    std::string_view phrase = "Fresh install of version";
    std::string line = manifest.version;
    if (installed && *installed == manifest.version) {
        phrase = "Reinstall of version";
    } else if (installed) {
        phrase = "Update to version";
        line += " from ";
        line += *installed;
    }
    platform.log->write(phrase, line);
}

}  // namespace

Status install_app(platform::Platform& platform, SetupState& state) {
    const AppManifest& manifest = state.manifest;
    Log& log = *platform.log;
    // Built in place: the paths are joined once and never assigned over.
    const Path folder = logged_install_folder(platform, manifest, state.chosen_folder);
    UninstallEntryFacts facts{folder, path_in(folder, manifest.exe), path_in(folder, "uninstall.exe")};
    if (!state.recorded) state.recorded = recorded_install(platform, manifest.id);
    log_kind_of_install(platform, manifest, state.recorded->version);
    // A folder this run creates holds no installed version to protect: the files at its root
    // are written straight to their names (see write_or_stage).
    const auto before = platform.files.metadata(facts.install_folder);
    bool direct = !before && (before.error() == platform::codes::kFileNotFound ||
                              before.error() == platform::codes::kPathNotFound);
    if (const auto code = platform.files.create_folder_tree(facts.install_folder); code != platform::codes::kSuccess) {
        return fail(platform, Message::cant_create_folder, facts.install_folder, code);
    }

    const bool app_is_here = is_apps_folder(platform, facts.install_folder, *state.recorded);
    if (app_is_here) sweep_leftovers(platform, facts.install_folder);

    // What the previous version of an app folder installed and this one doesn't have. The entry,
    // written last, keeps the previous list until then, so a rerun finds the same. A dropped
    // file where a new folder must go (a file that becomes a folder) goes now; the rest go in
    // the swap, before any new file is put in place, so that a listed name that is another
    // name of a new file (a case variant, a short name) deletes the old file and never the new.
    // Folders that receive staged files are neither swept nor removed by those deletions.
    // A folder both versions have, holding only the installed version's files, is swapped whole
    // (see StagedFolders).
    std::vector<std::string> dropped;
    std::vector<std::string> still_there;
    std::vector<std::u16string> folders_in_use;
    StagedFiles staged(platform, facts, state.files);
    if (!state.files.empty() && app_is_here) {
        auto previous = read_installed_files(platform, manifest.id);
        if (!previous) return pass_on(std::move(previous.error()));
        if (*previous) {
            dropped = dropped_app_files(**previous, state.files, manifest.exe);
            folders_in_use = folders_of(state.files);
            folders_wholly_ours(platform, facts.install_folder, **previous, folders_in_use, staged.folders.ours);
            const std::vector<std::string> in_the_way = take_paths_in_the_way(dropped, folders_in_use);
            if (!in_the_way.empty()) {
                delete_app_files(platform, facts.install_folder, in_the_way, folders_in_use, still_there);
            }
        }
    }

    // Every new file is written under its staged name first; the installed version stays whole
    // until all of them are.
    {
        auto app = inflate_payload(state.payload);
        if (!app) return fail(Message::damaged_app);
        facts.app_size = app->size();
        auto written = write_or_stage(platform, facts.app_path, staged_path(facts.app_path), *app, direct);
        // A failed direct write has deleted what it wrote; a failed staging leaves it for later.
        staged.app = written || !direct;
        staged.app_direct = direct;
        if (!written) return written;
    }  // the app's bytes are dropped before the next step

    if (!state.files.empty()) {
        auto written = stage_app_files(platform, facts.install_folder, state.files, staged.folders, app_is_here, direct);
        if (!written) return pass_on(std::move(written.error()));
        staged.others = true;
        facts.app_size += *written;
    }

    const auto installer_path = platform.module.own_path();
    if (!installer_path) return fail(os_error_text(platform.system_text, installer_path.error()));
    if (const auto info = platform.files.metadata(*installer_path)) facts.installer_size = info->size;

    const bool copy_installer = !running_as(platform, *installer_path, facts.uninstall_path);
    if (copy_installer) {
        staged.uninstaller = true;
        if (auto copied = stage_copy(platform, facts.uninstall_path, *installer_path); !copied) {
            return copied;
        }
    }

    // The swap: the dropped files go, then each staged file is renamed into place, and each
    // staged folder; the dropped files inside a folder swapped whole go with its old tree.
    staged.folders.dropped = take_paths_inside(dropped, staged.folders.ours);
    if (!dropped.empty()) delete_app_files(platform, facts.install_folder, dropped, folders_in_use, still_there);
    staged.app = false;
    if (!staged.app_direct) {
        if (auto placed = put_in_place(platform, facts.app_path); !placed) return placed;
    }
    staged.others = false;
    if (auto placed = put_app_files_in_place(platform, facts.install_folder, state.files, staged.folders); !placed) {
        return placed;
    }
    if (copy_installer) {
        staged.uninstaller = false;
        if (auto placed = put_in_place(platform, facts.uninstall_path); !placed) return placed;
    }

    // After the swap, the old trees go: nothing of them is in place any more.
    for (const Path& old : staged.folders.aside) (void)delete_staged_entry(platform, old);
    for (std::string& path : staged.folders.left) still_there.push_back(std::move(path));

    for (const AppFile& file : state.files) facts.app_files.push_back(file.path);
    // A dropped file that couldn't be deleted stays listed, so that the next run or the removal
    // deletes it rather than losing track of it.
    for (std::string& path : still_there) {
        log.write("Kept, to delete on the next run:", path);
        facts.app_files.push_back(std::move(path));
    }

    if (auto created = create_shortcuts(platform, facts.app_path, manifest.name, state.desktop_shortcut,
                                        manifest.app_user_model_id);
        !created) {
        return created;
    }

    if (auto entry = write_uninstall_entry(platform, manifest, facts); !entry) return entry;
    if (auto links = write_url_protocols(platform, manifest, facts.app_path); !links) return links;

    // Everything is in place: the app's own step comes last, and its outcome is only logged. A
    // reinstall is an install again, so that it repairs what the app set up the first time.
    const std::optional<std::string>& installed = state.recorded->version;
    const bool update = installed && *installed != manifest.version;
    (void)run_app_hook(platform, manifest, facts.install_folder, facts.app_path,
                       update ? HookKind::updated : HookKind::installed,
                       update ? std::optional<std::string_view>(*installed) : std::nullopt);

    state.done = true;
    return success();
}

}  // namespace plinth
