#include "deletion/file_deletion.h"

#include "log/run_log.h"

namespace plinth {
namespace {

// FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS |
// FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE
constexpr std::uint32_t kDeleteIgnoringReadOnly = 0x13;

}  // namespace

namespace {

platform::ErrorCode try_delete(platform::Platform& platform, const Path& path) {
    const platform::ErrorCode first = platform.files.delete_file(path);
    if (first != platform::codes::kAccessDenied) return first;
    // Access denied is what a read-only attribute gives; the handle route can ignore it. Where
    // the Ex form is refused (older Windows 10, FAT volumes, Wine), the platform falls back to
    // FileDispositionInfo, clearing the attribute first. When both fail, the caller sees the
    // first refusal.
    if (platform.files.delete_file_by_handle(path, kDeleteIgnoringReadOnly) == platform::codes::kSuccess) {
        return platform::codes::kSuccess;
    }
    return platform::codes::kAccessDenied;
}

}  // namespace

platform::ErrorCode delete_file_unless_in_use(platform::Platform& platform, const Path& path) {
    const platform::ErrorCode code = try_delete(platform, path);
    if (code == platform::codes::kSuccess) platform.log->write("Deleted", path);
    return code;
}

platform::ErrorCode delete_file(platform::Platform& platform, const Path& path) {
    const platform::ErrorCode code = try_delete(platform, path);
    // A name that was never there (a spare name tried, a file already gone) is no event.
    if (code == platform::codes::kSuccess) {
        platform.log->write("Deleted", path);
    } else if (code != platform::codes::kFileNotFound && code != platform::codes::kPathNotFound) {
        platform.log->failed(platform, "Can't delete", path, code);
    }
    return code;
}

}  // namespace plinth
