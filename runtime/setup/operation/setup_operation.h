// The setup operation: installs the app, or removes it when remove mode is set. Sets done on
// success; reports the failure (report_failure, the setup: line when asked) and returns it
// otherwise.
#pragma once

#include "common/result.h"
#include "state/setup_state.h"
#include "platform/platform.h"

namespace plinth {

Status run_setup_operation(platform::Platform& platform, SetupState& state, bool setup_line = false);

}  // namespace plinth
