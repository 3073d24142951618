// The pages of the installer's dialog and of the interactive update, with their exact texts, buttons and icons. Every text
// comes from the lookup: English unless a language was chosen.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/text.h"
#include "state/dialog_page.h"
#include "package/app_manifest.h"
#include "texts/text_lookup.h"

namespace plinth {

inline constexpr std::int32_t kActionButton = 100;  // "Install" or "Remove": runs the operation
inline constexpr std::int32_t kOpenButton = 101;    // "Open {}": the entry starts the app
inline constexpr std::int32_t kNotNowButton = 102;  // the update's "Not now"

// "{name} Setup": the window title of every page of the flow.
std::string setup_title(const AppManifest& manifest, const TextLookup& texts = TextLookup());

// First page in install mode. The wording follows the installed version: none gives a fresh
// install, the manifest's version byte for byte a reinstall, anything else an update.
DialogPage install_page(const AppManifest& manifest, const std::optional<std::string>& installed_version,
                        const Path& install_folder, const TextLookup& texts = TextLookup());

// First page in remove mode.
DialogPage remove_page(const AppManifest& manifest, const TextLookup& texts = TextLookup());

// After a successful install: offers to open the app.
DialogPage installed_page(const AppManifest& manifest, const TextLookup& texts = TextLookup());

// After a successful removal: no content line.
DialogPage removed_page(const AppManifest& manifest, const TextLookup& texts = TextLookup());

// After a failed install or removal: the failure text as content, the error icon.
DialogPage failure_page(const AppManifest& manifest, bool remove_mode, std::string failure_text,
                        const TextLookup& texts = TextLookup());

// The installer's own package can't be used: shown before any setup state exists.
DialogPage damaged_installer_page(std::string failure_text, const TextLookup& texts = TextLookup());

// The release notes as the update's details area shows them: at most this many bytes of the
// feed's text, its control characters other than line breaks and tabs made spaces.
inline constexpr std::size_t kMaxNotesShown = 4096;
std::string notes_shown(std::string_view notes);

// The interactive update's offer: the new version, the one installed, the release notes in the
// details area, "Update" (the action button) and "Not now".
DialogPage update_offer_page(const AppManifest& manifest, const std::string& installed_version,
                             const std::string& version, std::string_view notes, const TextLookup& texts);

// The feed has nothing newer than the installed version.
DialogPage up_to_date_page(const AppManifest& manifest, const std::string& installed_version, const TextLookup& texts);

// While the update downloads (a progress bar) or installs (a marquee); both ask for the timer.
DialogPage update_progress_page(const AppManifest& manifest, const std::string& version, bool installing,
                                const TextLookup& texts);

// The new version is installed.
DialogPage update_installed_page(const AppManifest& manifest, const std::string& version, const TextLookup& texts);

// The update failed: the failure text as content, the error icon.
DialogPage update_failure_page(const AppManifest& manifest, std::string failure_text, const TextLookup& texts);

}  // namespace plinth
