#include "install/install_steps.h"

#include <cstdint>
#include <vector>

#include "system_error/error_text.h"
#include "install/app_files_install.h"
#include "install/leftover_sweep.h"
#include "install/replace_and_write.h"
#include "install/shortcuts.h"
#include "locations/install_folder.h"
#include "package/payload.h"
#include "registry/installed_files.h"
#include "registry/uninstall_entry.h"
#include "removal/app_files_removal.h"

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

// An app folder's other files. The files the previous version installed and this one doesn't
// have go first, so that a file may become a folder and back; then the new files are written.
// The entry, written last, keeps the previous list until then, so a rerun finds the same.
Status install_other_files(platform::Platform& platform, const SetupState& state, UninstallEntryFacts& facts) {
    auto previous = read_installed_files(platform, state.manifest.id);
    if (!previous) return fail(std::move(previous.error().text));
    std::vector<std::string> still_there;
    if (*previous) {
        still_there = delete_app_files(platform, facts.install_folder,
                                       dropped_app_files(**previous, state.files, state.manifest.exe));
    }
    auto written = install_app_files(platform, facts.install_folder, state.files);
    if (!written) return fail(std::move(written.error().text));
    facts.app_size += *written;
    for (const AppFile& file : state.files) facts.app_files.push_back(file.path);
    // A dropped file that couldn't be deleted stays listed, so that the next run or the removal
    // deletes it rather than losing track of it.
    facts.app_files.insert(facts.app_files.end(), still_there.begin(), still_there.end());
    return success();
}

}  // namespace

Status install_app(platform::Platform& platform, SetupState& state) {
    const AppManifest& manifest = state.manifest;
    UninstallEntryFacts facts;

    facts.install_folder = install_folder(platform, manifest);
    if (const auto code = platform.files.create_folder_tree(facts.install_folder); code != platform::codes::kSuccess) {
        return fail("Can't create the folder " + path_text(facts.install_folder) + ": " +
                    os_error_text(platform.system_text, code));
    }

    sweep_leftovers(platform, facts.install_folder);

    facts.app_path = join_path(facts.install_folder, to_utf16(manifest.exe));
    {
        auto app = inflate_payload(state.payload);
        if (!app) return fail(std::string(kDamagedPayloadText));
        facts.app_size = app->size();
        if (auto written = replace_and_write(platform, facts.app_path, *app); !written) return written;
    }  // the app's bytes are dropped before the next step

    if (!state.files.empty()) {
        if (auto installed = install_other_files(platform, state, facts); !installed) return installed;
    }

    const auto installer_path = platform.module.own_path();
    if (!installer_path) return fail(os_error_text(platform.system_text, installer_path.error()));

    facts.uninstall_path = join_path(facts.install_folder, u"uninstall.exe");
    if (const auto info = platform.files.metadata(*installer_path)) facts.installer_size = info->size;

    if (!running_as(platform, *installer_path, facts.uninstall_path)) {
        if (auto copied = replace_and_copy(platform, facts.uninstall_path, *installer_path, "the installer"); !copied) {
            return copied;
        }
    }

    if (auto created = create_shortcuts(platform, facts.app_path, manifest.name, state.desktop_shortcut); !created) {
        return created;
    }

    if (auto entry = write_uninstall_entry(platform, manifest, facts); !entry) return entry;

    state.done = true;
    return success();
}

}  // namespace plinth
