// The setup state: the record of one run, owned by the entry from the moment the package is
// valid until the process ends. The dialog flow (as the task dialog's callback data) and the
// setup operation work on it in place.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/text.h"
#include "state/dialog_page.h"
#include "package/app_files.h"
#include "package/app_manifest.h"
#include "platform/platform.h"
#include "registry/uninstall_entry.h"
#include "texts/text_lookup.h"

namespace plinth {

struct SetupState {
    // The seam every operation of the run works through; the dialog's callback receives only
    // this record, so it travels here. Not owned.
    platform::Platform* platform = nullptr;
    AppManifest manifest;
    // The compressed app inside the loaded package resource; valid for the whole process.
    std::span<const std::uint8_t> payload;
    // The app folder's other files, their streams inside the loaded resource; empty for one exe.
    AppFiles files;
    // Pages shown so far; each stays alive as long as the dialog may show it.
    std::vector<DialogPage> pages;
    // The texts the pages show: the user's language, or English.
    TextLookup texts;
    // What the uninstall entry says of the installed version, read once by the first step of the
    // run that needs it (the install page, or the install).
    std::optional<RecordedInstall> recorded;
    // The folder the user chose for a fresh install (/dir=, or the install page), checked; an
    // installed version's folder wins over it.
    std::optional<Path> chosen_folder;
    // Set by a successful removal: the folder the self-deletion empties at the end of the run.
    std::optional<Path> folder_to_delete;
    bool remove_mode = false;
    bool close_app = false;  // /close-app
    bool desktop_shortcut = false;
    bool done = false;
    bool failed = false;
};

}  // namespace plinth
