#include "removal/app_files_removal.h"

#include "install/file_deletion.h"
#include "install/leftover_sweep.h"
#include "package/app_files.h"

namespace plinth {

namespace {

bool known_missing(const platform::SysResult<platform::FileInfo>& info) {
    return !info && (info.error() == platform::codes::kFileNotFound || info.error() == platform::codes::kPathNotFound);
}

}  // namespace

std::vector<std::string> delete_app_files(platform::Platform& platform, const Path& folder,
                                          const std::vector<std::string>& paths) {
    std::vector<std::string> still_there;
    for (const std::string& path : paths) {
        const Path full = join_path(folder, to_utf16(path));
        // "Not found" from the deletion is taken at its word only when the file is known missing.
        if (delete_file(platform, full) != platform::codes::kSuccess && !known_missing(platform.files.metadata(full))) {
            still_there.push_back(path);
        }
    }
    for (const std::string& subfolder : folders_of(paths)) {
        const Path full = join_path(folder, to_utf16(subfolder));
        sweep_leftovers(platform, full);
        (void)platform.files.remove_folder(full);
    }
    return still_there;
}

}  // namespace plinth
