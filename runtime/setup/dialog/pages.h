// The six pages of the installer's dialog, with their exact texts, buttons and icons. Every text
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

// After a failed install or removal: the failure text as content (in the lookup's language when
// it is one of the messages), the error icon.
DialogPage failure_page(const AppManifest& manifest, bool remove_mode, const Failure& failure,
                        const TextLookup& texts = TextLookup());

// The installer's own package can't be used: shown before any setup state exists.
DialogPage damaged_installer_page(const Failure& failure, const TextLookup& texts = TextLookup());

}  // namespace plinth
