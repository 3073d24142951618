// Whether the file /log names is one the run installs, replaces or deletes. Appending to such a
// file would change an installed file (the log grows the app's exe), and holding it open would
// make the install fail to replace it: such a log is not opened at all.
#pragma once

#include "common/text.h"
#include "package/app_files.h"
#include "package/app_manifest.h"
#include "platform/platform.h"

namespace plinth {

// Whether `log` is, in the install folder (`install_folder`), the app's exe, uninstall.exe, one
// of the package's other files, or one of those the uninstall entry lists. Paths are compared as
// the file system resolves them (links, short names and case), the log's folder when the log
// doesn't exist yet.
bool log_is_app_file(platform::Platform& platform, const Path& log, const AppManifest& manifest,
                     const AppFiles& files);

}  // namespace plinth
