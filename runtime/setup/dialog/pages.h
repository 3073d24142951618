// The pages of the installer's dialog and of the interactive update, with their exact texts, buttons and icons. Every text
// comes from the lookup: English unless a language was chosen.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/result.h"
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

// A failure as a page shows it: in the lookup's language when it is one of the messages, any
// other as it stands.
std::string failure_content(const Failure& failure, const TextLookup& texts);

// After a failed install or removal: the failure text as content (in the lookup's language when
// it is one of the messages), the error icon.
DialogPage failure_page(const AppManifest& manifest, bool remove_mode, const Failure& failure,
                        const TextLookup& texts = TextLookup());

// The installer's own package can't be used: shown before any setup state exists.
DialogPage damaged_installer_page(const Failure& failure, const TextLookup& texts = TextLookup());

// The release notes as the update's details area shows them: at most this many bytes of the
// feed's text, its control characters other than line breaks and tabs made spaces.
inline constexpr std::size_t kMaxNotesShown = 4096;
std::string notes_shown(std::string_view notes);

// A page of the interactive update: the app's name as its title; `heading` filled with the
// name and `version`; `content` below it.
DialogPage update_page(const AppManifest& manifest, Message heading, std::string_view version, std::string content,
                       const TextLookup& texts);

}  // namespace plinth
