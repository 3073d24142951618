// Deleting one file so that a read-only attribute doesn't stand in the way.
#pragma once

#include "common/text.h"
#include "platform/platform.h"

namespace plinth {

// DeleteFileW; only when that is refused with ERROR_ACCESS_DENIED, a second attempt through a
// handle with FileDispositionInfoEx (delete, POSIX semantics, ignore read-only), or, where that
// form is refused, FileDispositionInfo after clearing the read-only attribute. Returns 0 on
// success, ERROR_ACCESS_DENIED when both attempts failed, or the first attempt's error when it
// failed for another reason.
platform::ErrorCode delete_file(platform::Platform& platform, const Path& path);

// The same, logging only a success: for a caller that has another way out when the file is in
// use (moving it aside) and logs what it did instead.
platform::ErrorCode delete_file_unless_in_use(platform::Platform& platform, const Path& path);

}  // namespace plinth
