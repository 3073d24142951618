// Where the app's files go, decided afresh on every call.
#pragma once

#include <optional>
#include <string_view>

#include "common/text.h"
#include "package/app_manifest.h"
#include "platform/platform.h"

namespace plinth {

// The recorded "InstallLocation" when it names an existing folder; otherwise the user's program
// folder (or LOCALAPPDATA\Programs) joined with the app's folder name, unless a folder was
// `chosen`, which comes in its place. Never fails. `why`, when given, receives which of them it
// is, for the log.
Path install_folder(platform::Platform& platform, const AppManifest& manifest, std::string_view* why = nullptr,
                    const std::optional<Path>& chosen = std::nullopt);

// The recorded "InstallLocation" when it names an existing folder: where an installed version is.
std::optional<Path> recorded_install_folder(platform::Platform& platform, const AppManifest& manifest);

// The same folder, logged with the reason it is the one: the install and the removal start so.
Path logged_install_folder(platform::Platform& platform, const AppManifest& manifest,
                           const std::optional<Path>& chosen = std::nullopt);

}  // namespace plinth
