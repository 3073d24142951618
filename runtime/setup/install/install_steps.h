// The install branch of the setup operation: every install step, in order.
#pragma once

#include "common/result.h"
#include "state/setup_state.h"
#include "platform/platform.h"

namespace plinth {

Status install_app(platform::Platform& platform, SetupState& state);

// The app's folder, as install_folder finds it, logged with the reason it is the one; the
// removal starts the same way.
Path logged_install_folder(platform::Platform& platform, const AppManifest& manifest);

}  // namespace plinth
