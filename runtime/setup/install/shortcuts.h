// The app's Start-menu shortcut and, when asked for, its desktop shortcut.
#pragma once

#include <string_view>

#include "common/result.h"
#include "common/text.h"
#include "platform/platform.h"

namespace plinth {

// One shell link at `shortcut_path` that starts the app: target the app path, working folder its
// parent (when it has one), description the app's name exactly as given, and the
// AppUserModelID unless it is empty. Fails with "Can't add the shortcut {}: {}".
Status create_one_shortcut(platform::Platform& platform, const Path& shortcut_path, const Path& app_path,
                           std::string_view app_name, std::string_view app_user_model_id = {});

// The first entry of the shortcut list always; the others (the desktop) only with the flag.
// Both carry the AppUserModelID: a window started from either then groups, and pins, as one app.
Status create_shortcuts(platform::Platform& platform, const Path& app_path, std::string_view app_name,
                        bool desktop_shortcut, std::string_view app_user_model_id = {});

}  // namespace plinth
