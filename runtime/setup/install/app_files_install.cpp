#include "install/app_files_install.h"

#include <set>

#include "install/leftover_sweep.h"
#include "install/replace_and_write.h"
#include "package/payload.h"
#include "system_error/error_text.h"

namespace plinth {

Result<std::uint64_t> install_app_files(platform::Platform& platform, const Path& folder, const AppFiles& files) {
    std::uint64_t written = 0;
    std::set<std::u16string> swept;
    for (const AppFile& file : files) {
        const Path target = join_path(folder, to_utf16(file.path));
        if (const auto parent = parent_folder(target); parent && *parent != folder) {
            if (const auto code = platform.files.create_folder_tree(*parent); code != platform::codes::kSuccess) {
                return fail("Can't create the folder " + path_text(*parent) + ": " +
                            os_error_text(platform.system_text, code));
            }
            if (swept.insert(ascii_lower(*parent)).second) sweep_leftovers(platform, *parent);
        }
        auto bytes = inflate_payload(file.stream);
        if (!bytes || bytes->size() != file.size) return fail(std::string(kDamagedPayloadText));
        if (auto status = replace_and_write(platform, target, *bytes); !status) return fail(status.error().text);
        written += bytes->size();
    }
    return written;
}

std::vector<std::string> dropped_app_files(const std::vector<std::string>& previous, const AppFiles& files,
                                           std::string_view exe) {
    std::set<std::u16string> kept{fold_case(exe)};
    for (const AppFile& file : files) kept.insert(fold_case(file.path));
    std::vector<std::string> dropped;
    for (const std::string& path : previous) {
        if (!kept.contains(fold_case(path))) dropped.push_back(path);
    }
    return dropped;
}

}  // namespace plinth
