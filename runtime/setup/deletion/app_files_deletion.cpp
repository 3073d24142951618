#include "deletion/app_files_deletion.h"

#include <algorithm>

#include "deletion/file_deletion.h"
#include "deletion/leftover_sweep.h"
#include "package/app_files.h"

namespace plinth {

namespace {

bool known_missing(const platform::SysResult<platform::FileInfo>& info) {
    return !info && (info.error() == platform::codes::kFileNotFound || info.error() == platform::codes::kPathNotFound);
}

}  // namespace

std::vector<std::string> delete_app_files(platform::Platform& platform, const Path& folder,
                                          const std::vector<std::string>& paths,
                                          const std::vector<std::u16string>& in_use) {
    std::vector<std::string> still_there;
    for (const std::string& path : paths) {
        const Path full = join_path(folder, to_utf16(path));
        // "Not found" from the deletion is taken at its word only when the file is known missing.
        if (delete_file(platform, full) != platform::codes::kSuccess && !known_missing(platform.files.metadata(full))) {
            still_there.push_back(path);
        }
    }
    // Each path's folders, deepest first. A folder that the next path also lies in is left to
    // that path's turn, so every folder is tried after everything below it; in the packer's
    // sorted order that is once per folder.
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        for (std::size_t end = path.rfind('\\'); end != std::string::npos && end > 0; end = path.rfind('\\', end - 1)) {
            const std::string_view subfolder(path.data(), end);
            if (i + 1 < paths.size() && paths[i + 1].size() > end && paths[i + 1][end] == '\\' &&
                paths[i + 1].starts_with(subfolder)) {
                break;
            }
            // Its parents hold it, so they are in use too.
            if (!in_use.empty() &&
                std::binary_search(in_use.begin(), in_use.end(), fold_case(std::string(subfolder) + '\\'))) {
                break;
            }
            const Path full = join_path(folder, to_utf16(subfolder));
            sweep_leftovers(platform, full);
            (void)platform.files.remove_folder(full);
        }
    }
    return still_there;
}

}  // namespace plinth
