// The whole run of the installer executable: command line, package, setup state, the dialog or
// the silent operation, and what follows them. Returns the process exit code.
#pragma once

#include "platform/platform.h"

namespace plinth {

int run_setup(platform::Platform& platform);

}  // namespace plinth
