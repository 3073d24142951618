#include "removal/removal_steps.h"

namespace plinth {

// Placeholder until the removal lands: never pretend to have removed anything.
Status remove_app(platform::Platform&, SetupState&) { return fail("Removing isn't available in this build."); }

}  // namespace plinth
