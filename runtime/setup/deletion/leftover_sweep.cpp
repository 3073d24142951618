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
        (void)delete_file(platform, path);
    }
}

}  // namespace plinth
