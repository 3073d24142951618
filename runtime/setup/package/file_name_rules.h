// What a file name inside a package may be: one rule for the runtime, which refuses a package
// that breaks it when the package loads, and for the packer, which refuses to make one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plinth {

// Why `name` can't be a single file name in a folder on Windows, as a clause that follows the
// name ("has a path separator", ...), or nothing when it can be one. Refused: path separators, the
// characters Windows forbids in file names, control characters, "." and "..", and the device
// names that Windows maps to a device whatever the extension and trailing spaces before it (CON,
// PRN, AUX, NUL, COM0-COM9, LPT0-LPT9, COM and LPT with a superscript 1, 2 or 3, CONIN$, CONOUT$:
// nul.exe, "COM1 .txt", COM\u00B9.txt ...).
std::optional<std::string> file_name_problem(std::string_view name);
// Whether `file_name_problem` finds nothing, without composing its text.
bool is_file_name(std::string_view name);

// Why the manifest's "exe" can't name the installed app, as a whole sentence for the app's
// developer, or nothing when it can. Besides `file_name_problem`: "uninstall.exe" (the installer's
// own copy) and a name ending in ".old" (the leftover sweep deletes those), compared without case.
std::optional<std::string> app_exe_problem(std::string_view exe);
// Whether `app_exe_problem` finds nothing, without composing its text.
bool usable_app_exe(std::string_view exe);

}  // namespace plinth
