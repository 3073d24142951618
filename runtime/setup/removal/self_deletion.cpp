#include "removal/self_deletion.h"

namespace plinth {

// Placeholder until the removal lands: starts nothing.
void start_self_deletion(platform::Platform&, const Path&) {}

}  // namespace plinth
