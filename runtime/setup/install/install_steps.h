// The install branch of the setup operation: every install step, in order.
#pragma once

#include "common/result.h"
#include "state/setup_state.h"
#include "platform/platform.h"

namespace plinth {

Status install_app(platform::Platform& platform, SetupState& state);

}  // namespace plinth
