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

[[gnu::noinline]] Path path_in(const Path& folder, std::string_view path) { return join_path(folder, to_utf16(path)); }

bool passes_link(platform::Platform& platform, const Path& folder, const Path& path, bool itself) {
    for (std::size_t end = folder.size() + 1;; ++end) {
        end = path.find(u'\\', end);
        if (end == Path::npos && !itself) return false;
        const auto info = platform.files.metadata(path.substr(0, end));
        if (info && info->is_link) return true;
        if (end == Path::npos) return false;
    }
}

std::vector<std::string> delete_app_files(platform::Platform& platform, const Path& folder,
                                          const std::vector<std::string>& paths,
                                          const std::vector<std::u16string>& in_use) {
    std::vector<std::string> still_there;
    delete_app_files(platform, folder, paths, in_use, still_there);
    return still_there;
}

void delete_app_files(platform::Platform& platform, const Path& folder, const std::vector<std::string>& paths,
                      const std::vector<std::u16string>& in_use, std::vector<std::string>& still_there) {
    // The folders of the last path found free of links, with the backslash after them: the
    // paths come sorted, so most share it and aren't examined again.
    std::string_view free_of_links;
    for (const std::string& path : paths) {
        const Path full = path_in(folder, path);
        const std::size_t last = path.rfind('\\') + 1;
        if (!(last <= free_of_links.size() && std::string_view(path).starts_with(free_of_links))) {
            if (passes_link(platform, folder, full, false)) {
                still_there.push_back(path);
                continue;
            }
            free_of_links = std::string_view(path).substr(0, last);
        }
        if (delete_file(platform, full) == platform::codes::kSuccess) continue;
        // "Not found" from the deletion is taken at its word only when the file is known missing.
        const auto info = platform.files.metadata(full);
        if (known_missing(info)) continue;
        // A folder link can't be deleted as a file; removing it takes the link alone.
        if (info && info->is_link && info->is_folder && platform.files.remove_folder(full) == platform::codes::kSuccess) {
            continue;
        }
        still_there.push_back(path);
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
                std::binary_search(in_use.begin(), in_use.end(), fold_case(std::string_view(path.data(), end + 1)))) {
                break;
            }
            const Path full = path_in(folder, subfolder);
            // A folder of ours that became a link is the user's now, and so is all it leads to.
            if (passes_link(platform, folder, full, true)) continue;
            sweep_leftovers(platform, full);
            (void)platform.files.remove_folder(full);
        }
    }
}

}  // namespace plinth
