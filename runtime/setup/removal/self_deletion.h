// The uninstaller's deletion of itself: a hidden command interpreter, started as the last act
// of a run that removed the app, waits about two seconds (so that this process has exited and
// released its file), then deletes uninstall.exe and the install folder, which goes only when
// it is empty.
#pragma once

#include <optional>
#include <string>

#include "common/text.h"
#include "platform/platform.h"

namespace plinth {

// The command text cmd.exe runs for `folder` (started as cmd.exe /d /v:off /c, so that neither
// AutoRun commands nor delayed expansion of '!' come into play):
//   ping -n 3 127.0.0.1 > nul & del /f /q "<folder>\uninstall.exe" & rmdir "<folder>"
// cmd.exe expands %NAME% even between double quotes (a folder "x%OS%y" would become
// "xWindows_NTy"), so every '%' of the folder is followed by an empty pair of quotes, which keeps
// it from forming a variable name and which del and rmdir drop again. Nothing when the
// folder holds a double quote or a control character: no Windows folder name can, and cmd.exe
// could not be kept from reading them as syntax, so no command is safe to run for it.
std::optional<std::u16string> self_deletion_command(const Path& folder);

// Starts the command, windowless, without waiting for it. A failure to start it is ignored:
// uninstall.exe and the folder then stay.
void start_self_deletion(platform::Platform& platform, const Path& folder);

}  // namespace plinth
