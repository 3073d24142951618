// /close-app: before an install, an update or a removal changes the app's files, its running
// programs are asked to close, as the user would close them. One that stays open is never
// ended: the step then meets it as it would without the switch.
#pragma once

#include "common/text.h"
#include "package/app_manifest.h"
#include "platform/platform.h"

namespace plinth {

// How long the programs have to close.
inline constexpr std::uint32_t kCloseAppWaitMs = 10000;

// Asks the programs running from the installed app's folder (the entry's; none for a fresh
// install) to close and waits for them, logging how many were asked and how many still run.
void close_running_app(platform::Platform& platform, const AppManifest& manifest);

}  // namespace plinth
