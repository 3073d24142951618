#include "install/replace_and_write.h"

#include <string>

#include "system_error/error_text.h"
#include "install/file_deletion.h"

namespace plinth {
namespace {

constexpr int kSpareNames = 99;

// Moves the target aside under the first "{name}.{n}.old" that is free or can be freed.
bool move_aside(platform::Platform& platform, const Path& target) {
    const std::string base_name = to_utf8(final_component(target));
    // Everything up to and including the last separator, so that a file at the root of a drive
    // (a path like \App.exe) keeps its spare names beside it rather than in the current folder.
    const Path folder = target.substr(0, target.size() - final_component(target).size());
    for (int n = 1; n <= kSpareNames; ++n) {
        const Path candidate = join_path(folder, to_utf16(base_name + "." + std::to_string(n) + ".old"));
        // A leftover of an earlier run goes if it can; one still in use keeps its name.
        (void)delete_file(platform, candidate);
        if (platform.files.metadata(candidate)) continue;
        if (platform.files.rename(target, candidate) == platform::codes::kSuccess) return true;
    }
    return false;
}

// Makes room for the new file: whatever is at the target goes, or moves aside.
Status clear_target(platform::Platform& platform, const Path& target) {
    if (platform.files.metadata(target)) {
        if (delete_file(platform, target) != platform::codes::kSuccess && !move_aside(platform, target)) {
            return fail("Can't replace " + path_text(target) + ". Close it, then try again.");
        }
    }
    return success();
}

Status write_failure(platform::Platform& platform, const Path& target, platform::ErrorCode code) {
    return fail("Can't write " + path_text(target) + ": " + os_error_text(platform.system_text, code));
}

}  // namespace

Status replace_and_write(platform::Platform& platform, const Path& target, std::span<const std::uint8_t> bytes) {
    if (auto cleared = clear_target(platform, target); !cleared) return cleared;
    const platform::ErrorCode written = platform.files.write_file(target, bytes);
    if (written != platform::codes::kSuccess) return write_failure(platform, target, written);
    return success();
}

Status replace_and_copy(platform::Platform& platform, const Path& target, const Path& source,
                        std::string_view source_name) {
    const auto read_failure = [&](platform::ErrorCode code) {
        return fail("Can't read " + std::string(source_name) + ": " + os_error_text(platform.system_text, code));
    };
    // Opened before the target is cleared: the source may be the target itself, moved aside.
    auto opened = platform.files.open_for_reading(source);
    if (!opened) return read_failure(opened.error());
    if (auto cleared = clear_target(platform, target); !cleared) return cleared;
    const auto copied = platform.files.write_file_from(target, **opened);
    if (copied) return success();
    if (copied.error().reading) return read_failure(copied.error().code);
    return write_failure(platform, target, copied.error().code);
}

}  // namespace plinth
