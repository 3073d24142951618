// The per-user uninstall entry: the app's line in the list of installed programs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "common/text.h"
#include "package/app_manifest.h"
#include "platform/platform.h"

namespace plinth {

// "Software\Microsoft\Windows\CurrentVersion\Uninstall\" followed by the id exactly as written.
std::string uninstall_key_path(std::string_view id);

// What the entry of an installed version says about it.
struct RecordedInstall {
    std::optional<std::string> version;  // DisplayVersion; nothing when there is no entry
    // The exe DisplayIcon names ("C:\...\App.exe,0"): nothing without DisplayIcon, empty when
    // the value names none.
    std::optional<std::string> exe;
    // The install's own random number, from which its rollout bucket comes; nothing without one.
    std::optional<std::uint32_t> rollout_number;
    std::optional<std::string> folder;  // InstallLocation
};

// The uninstall entry's value that keeps the install's random number for staged rollouts. It
// never leaves the machine: only the install itself compares it with a release's percentage.
inline constexpr std::string_view kRolloutNumberValue = "PlinthRolloutNumber";

// Reads the entry of the app with this id; a value that can't be read counts as missing.
RecordedInstall recorded_install(platform::Platform& platform, std::string_view id);

// What the installation measured and decided; the entry records it.
struct UninstallEntryFacts {
    Path install_folder;
    Path app_path;        // the install folder joined with the manifest exe
    Path uninstall_path;  // the install folder joined with "uninstall.exe"
    std::uint64_t app_size = 0;        // bytes of the inflated app
    std::uint64_t installer_size = 0;  // bytes of the running installer, 0 when unknown
    std::vector<std::string> app_files;  // an app folder's other files; none for one exe
};

// Writes the entry's values, then, with its key still open, the document type associations, and
// logs "Wrote the uninstall entry {key}". Stops at the first failure; nothing written before is
// undone.
Status write_uninstall_entry(platform::Platform& platform, const AppManifest& manifest,
                             const UninstallEntryFacts& facts);

}  // namespace plinth
