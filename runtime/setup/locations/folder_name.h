// A file-system-safe form of the app's display name, used for its folder and shortcut names.
#pragma once

#include <string>
#include <string_view>

namespace plinth {

// Control characters and the nine characters Windows refuses in file names dropped, white space
// trimmed at both ends, then trailing full stops removed; "App" when nothing is left.
std::string folder_name(std::string_view display_name);

}  // namespace plinth
