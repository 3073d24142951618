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

// Writes each file under `folder` with its staged name beside its target, in the table's order.
// Its folders are created first, and each folder's leftovers are swept before the first file goes
// into it, when `sweep` says the folder holds the app (never through a link). The next files are inflated on a second thread while one is written, a few MiB ahead
// at most (one at a time, into a reused buffer, when no thread can be had). Returns the bytes
// written; fails with "Can't create the folder {}: {}", "The app inside the installer is
// damaged." (a stream that doesn't inflate to the size in the table), or the failure of
// staging, having deleted the files it staged.
Result<std::uint64_t> stage_app_files(platform::Platform& platform, const Path& folder, const AppFiles& files,
                                      bool sweep = true);

// Puts each staged file in place, in the table's order. On a failure, the files not yet in place
// are deleted and the failure returned.
Status put_app_files_in_place(platform::Platform& platform, const Path& folder, const AppFiles& files);

// Deletes every staged file, when a later step failed before the swap.
void delete_staged_app_files(platform::Platform& platform, const Path& folder, const AppFiles& files);

// The previous version's paths that neither the new files nor the app exe take over, compared
// as Windows compares names.
std::vector<std::string> dropped_app_files(const std::vector<std::string>& previous, const AppFiles& files,
                                           std::string_view exe);

// Every folder that the files go into, relative, folded as Windows compares names, each with a
// backslash after it; sorted, once each.
std::vector<std::u16string> folders_of(const AppFiles& files);

// Takes out of `dropped` the paths that stand where one of `folders` (as folders_of gives them)
// must be created, a file that becomes a folder: those must go before the new files are staged.
std::vector<std::string> take_paths_in_the_way(std::vector<std::string>& dropped,
                                               const std::vector<std::u16string>& folders);

}  // namespace plinth
