// The interactive run: the first page, the task dialog with the dialog flow inside it, and what
// follows the dialog (opening the installed app). Returns the process exit code: 0 when the
// operation completed, 1 when it failed, 2 when the dialog closed without running it.
#pragma once

#include <cstdint>

#include "state/setup_state.h"
#include "platform/platform.h"

namespace plinth {

int run_interactive(platform::Platform& platform, SetupState& state);

// Keeps the page in the state and shows it in a task dialog of its own; the button pressed, or 0
// when the dialog can't be shown.
std::int32_t show_first_page(platform::Platform& platform, SetupState& state, DialogPage&& page);

}  // namespace plinth
