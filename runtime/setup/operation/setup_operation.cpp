#include "operation/setup_operation.h"

#include "install/install_steps.h"
#include "removal/removal_steps.h"

namespace plinth {

Status run_setup_operation(platform::Platform& platform, SetupState& state) {
    return state.remove_mode ? remove_app(platform, state) : install_app(platform, state);
}

}  // namespace plinth
