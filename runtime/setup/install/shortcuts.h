// The app's Start-menu shortcut and, when asked for, its desktop shortcut.
#pragma once

#include <string_view>

#include "common/result.h"
#include "common/text.h"
#include "platform/platform.h"

namespace plinth {

// One shell link at `shortcut_path` that starts the app: target the app path, working folder its
// parent (when it has one), description the app's name exactly as given. Fails with
// "Can't add the shortcut {}: {}".
Status create_one_shortcut(platform::Platform& platform, const Path& shortcut_path, const Path& app_path,
                           std::string_view app_name);

// The first entry of the shortcut list always; the others (the desktop) only with the flag.
Status create_shortcuts(platform::Platform& platform, const Path& app_path, std::string_view app_name,
                        bool desktop_shortcut);

}  // namespace plinth
