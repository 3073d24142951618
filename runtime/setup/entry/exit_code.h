// The process exit codes. Their values are part of the installer's interface: scripts and
// package managers read them.
#pragma once

namespace plinth {

enum class ExitCode : int {
    completed = 0,  // the setup operation completed
    failed = 1,     // the package was unusable, or the setup operation failed
    cancelled = 2,  // the dialog closed without running the operation ("Not now" to an update)
    update_available = 3,  // /check-update: the feed has a newer version
};

inline constexpr int exit_code_value(ExitCode code) { return static_cast<int>(code); }

}  // namespace plinth
