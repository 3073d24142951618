// A folder the user chose for the app (/dir=PATH, or the install page's folder picker): the rules
// it must meet before anything is written there.
#pragma once

#include <optional>
#include <string>

#include "common/result.h"
#include "common/text.h"
#include "package/app_manifest.h"
#include "platform/platform.h"

namespace plinth {

// The path as the rules and the install use it: forward slashes become backslashes, and trailing
// backslashes go (but for a drive's root, "C:\").
Path normal_folder_path(std::u16string_view path);

// The chosen folder when it can be the app's, or why not: "Can't install into {folder}: {reason}."
// It must be a full path on a local drive ("C:\..."), not a drive's root, not the Windows folder
// or a folder inside it, not Program Files (any of them) or inside it, not the user's profile
// folder itself; not a file; and, when it exists and holds anything, it must hold the app's exe
// (an earlier install of this app). A folder that doesn't exist yet is created by the install.
Result<Path> check_chosen_folder(platform::Platform& platform, const AppManifest& manifest, std::u16string_view chosen);

}  // namespace plinth
