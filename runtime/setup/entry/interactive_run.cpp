#include "entry/interactive_run.h"

#include "entry/exit_code.h"

namespace plinth {

// Placeholder until the dialog lands: no dialog is shown and nothing is changed, which is what a
// dialog closed without running the operation reports.
int run_interactive(platform::Platform&, SetupState&) { return exit_code_value(ExitCode::cancelled); }

}  // namespace plinth
