#include "install/app_files_install.h"

#include "install/leftover_sweep.h"
#include "install/replace_and_write.h"
#include "package/payload.h"
#include "system_error/error_text.h"

namespace plinth {

Result<std::uint64_t> install_app_files(platform::Platform& platform, const Path& folder, const AppFiles& files) {
    std::uint64_t written = 0;
    Path previous_parent = folder;  // the install folder is swept already
    FileInflater inflater;
    for (const AppFile& file : files) {
        const Path target = join_path(folder, to_utf16(file.path));
        const Path parent = parent_folder(target).value_or(folder);
        if (parent != previous_parent) {
            if (const auto code = platform.files.create_folder_tree(parent); code != platform::codes::kSuccess) {
                return fail("Can't create the folder " + path_text(parent) + ": " +
                            os_error_text(platform.system_text, code));
            }
            // The packer lists each folder's files together, so each folder is swept once.
            sweep_leftovers(platform, parent);
            previous_parent = parent;
        }
        auto bytes = inflater.inflate(file.stream, file.size);
        if (!bytes) return fail(std::move(bytes.error().text));
        if (auto status = replace_and_write(platform, target, *bytes); !status) return fail(std::move(status.error().text));
        written += bytes->size();
    }
    return written;
}

std::vector<std::string> dropped_app_files(const std::vector<std::string>& previous, const AppFiles& files,
                                           std::string_view exe) {
    std::vector<std::string> kept{std::string(exe)};
    for (const AppFile& file : files) kept.push_back(file.path);
    return paths_not_in(previous, kept);
}

}  // namespace plinth
