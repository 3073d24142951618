#include "entry/log_target.h"

#include <string>
#include <string_view>
#include <utility>

#include "common/upper_case.h"
#include "locations/install_folder.h"
#include "locations/path_within.h"
#include "registry/installed_files.h"

namespace plinth {
namespace {

// The path as the file system resolves it: the file's canonical path, or while it doesn't exist
// its folder's joined with its name.
std::u16string resolved(platform::Platform& platform, const Path& path) {
    if (auto canonical = platform.files.canonical_path(path)) return std::move(*canonical);
    if (const auto folder = parent_folder(path)) {
        if (auto canonical = platform.files.canonical_path(*folder)) return join_path(*canonical, final_component(path));
    }
    return path;
}

}  // namespace

bool log_is_app_file(platform::Platform& platform, const Path& log, const AppManifest& manifest,
                     const AppFiles& files) {
    const std::u16string folder = resolved(platform, install_folder(platform, manifest));
    const std::u16string path = resolved(platform, log);
    const auto within = path_within(path, folder);
    if (!within || within->empty()) return false;
    // In the case Windows compares names in.
    std::u16string relative = upper_case(*within);
    for (char16_t& unit : relative) {
        if (unit == u'/') unit = u'\\';
    }

    const auto listed = read_installed_files(platform, manifest.id);
    const auto is_log = [&relative](std::string_view app_path) { return upper_case(to_utf16(app_path)) == relative; };
    if (is_log(manifest.exe) || is_log("uninstall.exe")) return true;
    for (const AppFile& file : files) {
        if (is_log(file.path)) return true;
    }
    if (listed && *listed) {
        for (const std::string& app_path : **listed) {
            if (is_log(app_path)) return true;
        }
    }
    return false;
}

}  // namespace plinth
