#include "operation/app_closing.h"

#include <string>

#include "locations/install_folder.h"
#include "log/run_log.h"

namespace plinth {

void close_running_app(platform::Platform& platform, const AppManifest& manifest) {
    const auto folder = recorded_install_folder(platform, manifest);
    if (!folder) return;
    const platform::ClosedPrograms closed = platform.processes.close_programs_in(*folder, kCloseAppWaitMs);
    std::string line = decimal_text(closed.asked);
    line += " running from ";
    line += path_text(*folder);
    platform.log->write("Asked the app's programs to close:", line);
    if (closed.still_running != 0) {
        platform.log->write("Still running after 10 s, not ended:", decimal_text(closed.still_running));
    }
}

}  // namespace plinth
