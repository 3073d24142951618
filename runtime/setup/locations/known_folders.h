// The user's known folders, created by the shell when they are missing.
#pragma once

#include "common/result.h"
#include "common/text.h"
#include "platform/platform.h"

namespace plinth {

inline constexpr std::uint32_t kKnownFolderCreate = 0x00008000;  // KF_FLAG_CREATE

// The folder's path, or the COM error text of the failed lookup.
Result<Path> known_folder_path(platform::Platform& platform, platform::KnownFolder folder);

}  // namespace plinth
