// The uninstaller's deletion of itself: after a successful removal, starts a windowless command
// that waits until this process has exited and then deletes `uninstall.exe` and the install
// folder. Whether it could be started changes nothing: the caller is told nothing.
#pragma once

#include "common/text.h"
#include "platform/platform.h"

namespace plinth {

void start_self_deletion(platform::Platform& platform, const Path& folder);

}  // namespace plinth
