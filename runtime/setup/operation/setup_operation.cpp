#include "operation/setup_operation.h"

#include "install/install_steps.h"
#include "log/run_log.h"
#include "removal/removal_steps.h"

namespace plinth {

Status run_setup_operation(platform::Platform& platform, SetupState& state) {
    Status status = state.remove_mode ? remove_app(platform, state) : install_app(platform, state);
    if (status) {
        platform.log->write("Completed");
    } else {
        platform.log->write("Failed:", status.error().text);
    }
    return status;
}

}  // namespace plinth
