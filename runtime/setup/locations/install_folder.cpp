#include "locations/install_folder.h"

#include "locations/folder_name.h"
#include "locations/known_folders.h"
#include "log/run_log.h"
#include "registry/registry_access.h"
#include "registry/uninstall_entry.h"

namespace plinth {

std::optional<Path> recorded_install_folder(platform::Platform& platform, const AppManifest& manifest) {
    if (auto recorded = read_text_value(platform, uninstall_key_path(manifest.id), "InstallLocation")) {
        Path folder = to_utf16(*recorded);
        auto info = platform.files.metadata(folder);
        if (info && info->is_folder) return folder;
    }
    return std::nullopt;
}

Path install_folder(platform::Platform& platform, const AppManifest& manifest, std::string_view* why,
                    const std::optional<Path>& chosen) {
    std::string_view reason = "(the existing entry's InstallLocation)";
    // An earlier installation's folder wins, so updates and the removal find it where it is.
    if (auto recorded = recorded_install_folder(platform, manifest)) {
        if (why) *why = chosen ? "(the existing entry's InstallLocation; the folder chosen is ignored)" : reason;
        return std::move(*recorded);
    }
    if (chosen) {
        if (why) *why = "(chosen by the user)";
        return *chosen;
    }
    Path base;
    if (auto programs = known_folder_path(platform, platform::KnownFolder::user_program_files)) {
        base = std::move(*programs);
        reason = "(default: the user's Programs folder)";
    } else {
        base = join_path(platform.shell.environment_variable(u"LOCALAPPDATA").value_or(u""), u"Programs");
        reason = "(LOCALAPPDATA\\Programs: the user's Programs folder is unknown)";
    }
    if (why) *why = reason;
    return join_path(base, to_utf16(folder_name(manifest.name)));
}

Path logged_install_folder(platform::Platform& platform, const AppManifest& manifest, const std::optional<Path>& chosen) {
    std::string_view why;
    Path folder = install_folder(platform, manifest, &why, chosen);
    std::string line = path_text(folder);
    line += ' ';
    line += why;
    platform.log->write("Install folder", line);
    return folder;
}

}  // namespace plinth
