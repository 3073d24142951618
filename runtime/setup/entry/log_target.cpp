#include "entry/log_target.h"

#include <string>
#include <vector>

#include "common/upper_case.h"
#include "locations/install_folder.h"
#include "registry/installed_files.h"

namespace plinth {
namespace {

// The path as the file system resolves it, in the case Windows compares names in: the file's
// canonical path, or while it doesn't exist its folder's joined with its name.
std::u16string resolved(platform::Platform& platform, const Path& path) {
    if (auto canonical = platform.files.canonical_path(path)) return upper_case(*canonical);
    if (const auto folder = parent_folder(path)) {
        if (auto canonical = platform.files.canonical_path(*folder)) {
            return upper_case(join_path(*canonical, final_component(path)));
        }
    }
    return upper_case(path);
}

}  // namespace

bool log_is_app_file(platform::Platform& platform, const Path& log, const AppManifest& manifest,
                     const AppFiles& files) {
    const std::u16string inside = join_path(resolved(platform, install_folder(platform, manifest)), u"");
    std::u16string relative = resolved(platform, log);
    if (!relative.starts_with(inside)) return false;
    relative.erase(0, inside.size());
    for (char16_t& unit : relative) {
        if (unit == u'/') unit = u'\\';
    }

    std::vector<std::string> paths{manifest.exe, "uninstall.exe"};
    for (const AppFile& file : files) paths.push_back(file.path);
    if (auto listed = read_installed_files(platform, manifest.id); listed && *listed) {
        for (std::string& path : **listed) paths.push_back(std::move(path));
    }
    for (const std::string& path : paths) {
        if (upper_case(to_utf16(path)) == relative) return true;
    }
    return false;
}

}  // namespace plinth
