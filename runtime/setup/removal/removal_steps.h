// The removal branch of the setup operation: deletes what the installation made, except
// uninstall.exe and the install folder, which the self-deletion takes at the end of the run.
#pragma once

#include "common/result.h"
#include "state/setup_state.h"
#include "platform/platform.h"

namespace plinth {

// Deletes the app's exe first; when that fails (the app is running) it returns
// "{name} is open. Quit it, then try again." with nothing else touched. Every later deletion
// ignores its outcome, so a removal on a machine without the app succeeds. On success it has
// set folder_to_delete to the install folder and set done.
Status remove_app(platform::Platform& platform, SetupState& state);

}  // namespace plinth
