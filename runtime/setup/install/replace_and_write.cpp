#include "install/replace_and_write.h"

#include <string>

#include "deletion/file_deletion.h"
#include "deletion/leftover_sweep.h"
#include "failures/message_failure.h"
#include "log/run_log.h"
#include "system_error/error_text.h"

namespace plinth {
namespace {

constexpr unsigned kSpareNames = 99;

void log_moved(platform::Platform& platform, const Path& from, const Path& to) {
    std::string line = path_text(from);
    line += " to ";
    line += path_text(to);
    platform.log->write("Moved aside", line);
}

// Moves the target aside under the first "{name}.{n}.old" that is free or can be freed.
bool move_aside(platform::Platform& platform, const Path& target) {
    for (unsigned n = 1; n <= kSpareNames; ++n) {
        const Path candidate = spare_path(target, n);
        // A leftover of an earlier run goes if it can; one still in use keeps its name.
        (void)delete_file(platform, candidate);
        if (platform.files.metadata(candidate)) continue;
        if (platform.files.rename(target, candidate) == platform::codes::kSuccess) {
            log_moved(platform, target, candidate);
            return true;
        }
    }
    return false;
}

// Makes room at a target that refused to be replaced: it goes, or moves aside.
// A file in use (the running exe, or an update's running uninstall.exe) is logged as moved
// aside, which is the design working, not as a failure to delete.
bool clear_target(platform::Platform& platform, const Path& target) {
    const platform::ErrorCode deleted = delete_file_unless_in_use(platform, target);
    if (deleted == platform::codes::kSuccess || deleted == platform::codes::kFileNotFound) return true;
    // A folder where a file goes is the user's: moved aside, the sweep would take it for one of
    // ours and delete it.
    const auto info = platform.files.metadata(target);
    if (!(info && info->is_folder) && move_aside(platform, target)) return true;
    if (deleted != platform::codes::kPathNotFound) platform.log->failed(platform, "Can't delete", target, deleted);
    return false;
}

Status write_failure(platform::Platform& platform, const Path& target, platform::ErrorCode code) {
    return fail(platform, Message::cant_write, target, code);
}

Status written(platform::Platform& platform, const Path& target) {
    platform.log->write("Wrote", target);
    return success();
}

}  // namespace

Path staged_path(const Path& target) { return target + Path(kStagedSuffix); }

Status stage_bytes(platform::Platform& platform, const Path& target, const Path& staged,
                   std::span<const std::uint8_t> bytes) {
    const platform::ErrorCode written = platform.files.write_file(staged, bytes);
    if (written != platform::codes::kSuccess) return write_failure(platform, target, written);
    return success();
}

Status write_or_stage(platform::Platform& platform, const Path& target, const Path& staged,
                      std::span<const std::uint8_t> bytes, bool& direct) {
    if (direct) {
        auto file = platform.files.create_new(target);
        if (file) {
            const platform::ErrorCode code = (*file)->write(bytes);
            if (code == platform::codes::kSuccess) return written(platform, target);
            file->reset();  // closed before it can go
            (void)delete_file(platform, target);
            return write_failure(platform, target, code);
        }
        if (file.error() != platform::codes::kFileExists) return write_failure(platform, target, file.error());
        direct = false;
    }
    return stage_bytes(platform, target, staged, bytes);
}

Status stage_copy(platform::Platform& platform, const Path& target, const Path& source) {
    const auto read_failure = [&](platform::ErrorCode code) {
        return fail(Message::cant_read_installer, {os_error_text(platform.system_text, code)});
    };
    auto opened = platform.files.open_for_reading(source);
    if (!opened) return read_failure(opened.error());
    const auto copied = platform.files.write_file_from(staged_path(target), **opened);
    if (copied) return success();
    if (copied.error().reading) return read_failure(copied.error().code);
    return write_failure(platform, target, copied.error().code);
}

Path move_folder_aside(platform::Platform& platform, const Path& folder) {
    for (unsigned n = 1; n <= kSpareNames; ++n) {
        const Path candidate = spare_path(folder, n);
        platform::ErrorCode code = platform.files.rename(folder, candidate);
        // A leftover of an earlier run goes if it can; one still in use keeps its name.
        if (code == platform::codes::kAlreadyExists) {
            if (!delete_staged_entry(platform, candidate)) continue;
            code = platform.files.rename(folder, candidate);
        }
        if (code != platform::codes::kSuccess) break;
        log_moved(platform, folder, candidate);
        return candidate;
    }
    return {};
}

Status put_in_place(platform::Platform& platform, const Path& target, const Path& staged) {
    platform::ErrorCode code = platform.files.replace(staged, target);
    if (code == platform::codes::kAccessDenied || code == platform::codes::kSharingViolation) {
        if (!clear_target(platform, target)) {
            (void)delete_file(platform, staged);
            return fail(Message::cant_replace, {path_text(target)});
        }
        code = platform.files.rename(staged, target);
    }
    // Replaced at once, or renamed once the target made room.
    if (code == platform::codes::kSuccess) return written(platform, target);
    (void)delete_file(platform, staged);
    return write_failure(platform, target, code);
}

}  // namespace plinth
