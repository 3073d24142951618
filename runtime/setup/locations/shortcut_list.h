// The paths of the app's shortcuts: the Start menu's first, then the desktop's.
#pragma once

#include <string_view>
#include <vector>

#include "common/text.h"
#include "platform/platform.h"

namespace plinth {

// A folder whose lookup fails is left out, so the list holds 0, 1 or 2 paths.
std::vector<Path> shortcut_list(platform::Platform& platform, std::string_view display_name);

}  // namespace plinth
