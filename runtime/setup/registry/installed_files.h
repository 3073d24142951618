// The uninstall entry's list of the app folder's other files, as the installed version put them.
//
// An update needs the previous version's list to delete what the new one no longer has, and the
// removal needs it to find files a failed update left behind. The entry is where the installed
// version is already recorded, it is written last, so it describes the previous version until an
// update has finished, and reading it needs no executable of the previous version.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "common/text.h"
#include "platform/platform.h"

namespace plinth {

// A REG_SZ value: the relative paths joined by '|'. An app of one exe writes no such value.
inline constexpr std::string_view kInstalledFilesValue = "InstalledFiles";

// The listed paths, relative to the entry's install folder (the one the installer and the
// removal work in), or nothing when the entry lists none or a list that breaks the table's
// limits (`split_installed_paths`): nothing is deleted by such a list. Fails
// with "Can't read the registry (InstalledFiles, error {code})." when the value is there but
// can't be read.
Result<std::optional<std::vector<std::string>>> read_installed_files(platform::Platform& platform,
                                                                     std::string_view id);

}  // namespace plinth
