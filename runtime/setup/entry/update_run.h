// The update switches: /check-update, and /update with or without /S and /restart. Returns the
// process exit code: 3 (check only) when a newer version exists, its version then on standard
// output; 0 when none does or it was installed; 1 on failure, with the "setup:" line; 2 when the
// user chose not to update.
#pragma once

#include "command_line.h"
#include "package/app_manifest.h"
#include "platform/platform.h"

namespace plinth {

int run_update_switches(platform::Platform& platform, const RunOptions& options, const AppManifest& manifest);

}  // namespace plinth
