#include "deletion/leftover_sweep.h"

#include <string_view>

#include "deletion/file_deletion.h"

namespace plinth {

void sweep_leftovers(platform::Platform& platform, const Path& folder) {
    const auto names = platform.files.list_folder(folder);
    if (!names) return;
    constexpr std::string_view kSuffix = ".old";
    for (const Path& name : *names) {
        // Matched on the name as text, but deleted by the name exactly as listed: a name that
        // isn't valid UTF-16 must not be rebuilt from its lossy conversion.
        const std::string text = to_utf8(name);
        if (text.size() < kSuffix.size() || text.compare(text.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
            continue;
        }
        const Path path = join_path(folder, name);
        // A link is never ours to sweep, whatever its name: it is left as it is.
        if (const auto info = platform.files.metadata(path); info && info->is_link) continue;
        if (text.ends_with(".new.old")) {
            (void)delete_staged_entry(platform, path);
        } else {
            (void)delete_file(platform, path);
        }
    }
}

bool delete_staged_entry(platform::Platform& platform, const Path& path) {
    // Removing the folder first means a link (a junction) goes as itself, before anything could
    // list what it points to.
    const platform::ErrorCode removed = platform.files.remove_folder(path);
    if (removed == platform::codes::kSuccess || removed == platform::codes::kFileNotFound ||
        removed == platform::codes::kPathNotFound) {
        return true;
    }
    if (removed != platform::codes::kDirNotEmpty) return delete_file(platform, path) == platform::codes::kSuccess;
    if (const auto names = platform.files.list_folder(path)) {
        for (const Path& name : *names) (void)delete_staged_entry(platform, join_path(path, name));
    }
    return platform.files.remove_folder(path) == platform::codes::kSuccess;
}

}  // namespace plinth
