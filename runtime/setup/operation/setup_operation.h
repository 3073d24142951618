// The setup operation: installs the app, or removes it when remove mode is set. Sets done on
// success; returns the failure text otherwise.
#pragma once

#include "common/result.h"
#include "state/setup_state.h"
#include "platform/platform.h"

namespace plinth {

Status run_setup_operation(platform::Platform& platform, SetupState& state);

}  // namespace plinth
