// Installing an app folder's other files, after the app exe and with the same steps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "common/text.h"
#include "package/app_files.h"
#include "platform/platform.h"

namespace plinth {

// Writes each file under `folder` with replace-and-write, in the table's order. Its folders are
// created first, and each folder's leftovers are swept before the first file goes into it. The
// next files are inflated on a second thread while one is written, a few MiB ahead at most (one
// at a time, into a reused buffer, when no thread can be had). Returns the bytes written; fails with
// "Can't create the folder {}: {}", "The app inside the installer is damaged." (a stream that
// doesn't inflate to the size in the table), or the failure of replace-and-write.
Result<std::uint64_t> install_app_files(platform::Platform& platform, const Path& folder, const AppFiles& files);

// The previous version's paths that neither the new files nor the app exe take over, compared
// as Windows compares names.
std::vector<std::string> dropped_app_files(const std::vector<std::string>& previous, const AppFiles& files,
                                           std::string_view exe);

}  // namespace plinth
