// The removal branch of the setup operation.
#pragma once

#include "common/result.h"
#include "entry/setup_state.h"
#include "platform/platform.h"

namespace plinth {

Status remove_app(platform::Platform& platform, SetupState& state);

}  // namespace plinth
