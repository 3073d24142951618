#include "operation/setup_operation.h"

#include "install/install_steps.h"
#include "operation/app_closing.h"
#include "log/run_log.h"
#include "removal/removal_steps.h"

namespace plinth {

Status run_setup_operation(platform::Platform& platform, SetupState& state, bool setup_line) {
    if (state.close_app) close_running_app(platform, state.manifest);
    Status status = state.remove_mode ? remove_app(platform, state) : install_app(platform, state);
    if (status) {
        platform.log->write("Completed");
    } else {
        report_failure(platform, status.error(), setup_line);
    }
    return status;
}

}  // namespace plinth
