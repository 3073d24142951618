#include "removal/app_files_removal.h"

#include "install/file_deletion.h"
#include "install/leftover_sweep.h"
#include "package/app_files.h"

namespace plinth {

void delete_app_files(platform::Platform& platform, const Path& folder, const std::vector<std::string>& paths) {
    for (const std::string& path : paths) (void)delete_file(platform, join_path(folder, to_utf16(path)));
    for (const std::string& subfolder : folders_of(paths)) {
        const Path full = join_path(folder, to_utf16(subfolder));
        sweep_leftovers(platform, full);
        (void)platform.files.remove_folder(full);
    }
}

}  // namespace plinth
