#include "deletion/leftover_sweep.h"

#include <string_view>

#include "deletion/file_deletion.h"

namespace plinth {

Path spare_path(const Path& target, unsigned n) {
    // The name as text, as the sweep matches it: an unpaired surrogate reads as U+FFFD. Everything
    // up to and including the last separator stays, so that a file at the root of a drive (a
    // path like \App.exe) keeps its spare names beside it rather than in the current folder.
    Path spare = target;
    std::size_t name = spare.size();
    while (name > 0 && spare[name - 1] != u'\\' && spare[name - 1] != u'/') --name;
    for (std::size_t i = name; i < spare.size(); ++i) {
        const char16_t unit = spare[i];
        if (unit < 0xD800 || unit > 0xDFFF) continue;
        if (unit <= 0xDBFF && i + 1 < spare.size() && spare[i + 1] >= 0xDC00 && spare[i + 1] <= 0xDFFF) {
            ++i;
        } else {
            spare[i] = u'\uFFFD';
        }
    }
    spare += u'.';
    for (const char digit : decimal_text(n)) spare += static_cast<char16_t>(digit);
    spare += u".old";
    return spare;
}

// A tree only under a name the install gives one; the user's own "x.old" folder stays.
bool swept_as_tree(std::string_view name) {
    if (name.ends_with(".new.old")) return true;
    if (!name.ends_with(".old")) return false;
    std::size_t digits = name.size() - 4;
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') --digits;
    return digits > 1 && digits < name.size() - 4 && name[digits - 1] == '.';
}

void sweep_leftovers(platform::Platform& platform, const Path& folder) {
    const auto names = platform.files.list_folder(folder);
    if (!names) return;
    for (const Path& name : *names) {
        // Matched on the name as text, but deleted by the name exactly as listed: a name that
        // isn't valid UTF-16 must not be rebuilt from its lossy conversion.
        const std::string text = to_utf8(name);
        if (!text.ends_with(".old")) continue;
        const Path path = join_path(folder, name);
        // A link is never ours to sweep, whatever its name: it is left as it is.
        if (const auto info = platform.files.metadata(path); info && info->is_link) continue;
        if (swept_as_tree(text)) {
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
