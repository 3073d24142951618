#include "entry/damaged_installer.h"

namespace plinth {

// Placeholder until the dialog pages land: shows nothing. The failure still reaches standard
// error and the exit code through the caller.
void show_damaged_installer_page(platform::Platform&, const std::string&) {}

}  // namespace plinth
