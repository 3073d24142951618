#include "install/install_steps.h"

namespace plinth {

// Placeholder until the install steps land: never pretend to have installed anything.
Status install_app(platform::Platform&, SetupState&) { return fail("Installing isn't available in this build."); }

}  // namespace plinth
