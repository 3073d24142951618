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
        (void)delete_file(platform, join_path(folder, name));
    }
}

}  // namespace plinth
