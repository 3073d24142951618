#include "locations/chosen_folder.h"

#include <optional>
#include <string_view>

#include "locations/path_within.h"

namespace plinth {
namespace {

constexpr std::uint32_t kDriveRemovable = 2;  // DRIVE_REMOVABLE
constexpr std::uint32_t kDriveFixed = 3;      // DRIVE_FIXED
constexpr std::uint32_t kDriveRemote = 4;     // DRIVE_REMOTE
constexpr std::uint32_t kDriveRamDisk = 6;    // DRIVE_RAMDISK

bool is_letter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// Why the path can be no local folder, or null.
const char* path_problem(const Path& folder) {
    if (folder.starts_with(u"\\\\")) {
        // A network path, or a device path such as \\?\C:\...: a folder is written C:\Apps\Notes.
        return "it is a network or device path; choose a folder on one of this computer's own drives, such as "
               "C:\\Apps\\Notes";
    }
    if (folder.size() < 3 || !is_letter(folder[0]) || folder[1] != u':' || folder[2] != u'\\') {
        return "it isn't a full path; write it with its drive, such as C:\\Apps\\Notes";
    }
    if (folder.size() == 3) return "it is a drive's root; choose a folder on the drive";
    std::u16string_view rest = std::u16string_view(folder).substr(3);
    while (!rest.empty()) {
        const std::size_t end = rest.find(u'\\');
        const std::u16string_view part = rest.substr(0, end);
        if (part.empty() || part == u"." || part == u"..") {
            return "it has an empty, . or .. part; write the folder's full path without them";
        }
        for (char16_t c : part) {
            if (c < 0x20 || std::u16string_view(u"<>:\"/|?*").find(c) != std::u16string_view::npos) {
                return "it has a character Windows doesn't allow in a folder name";
            }
        }
        if (part.back() == u' ' || part.back() == u'.') {
            return "a part of it ends in a space or a dot, which Windows drops from folder names";
        }
        if (end == std::u16string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return nullptr;
}

// The folders no per-user app belongs in: what the environment and the system say they are.
// `folder` is a normal folder path already.
const char* system_folder_problem(platform::Platform& platform, const Path& folder) {
    // Whether the folder is `base` or inside it, compared as Windows compares file names.
    const auto within = [&folder](const std::optional<Path>& base, bool or_itself = true) {
        if (!base) return false;
        const auto rest = path_within(folder, normal_folder_path(*base));
        return rest && (or_itself || !rest->empty());
    };
    std::optional<Path> windows;
    if (auto system = platform.processes.system_folder()) {
        const std::size_t cut = system->find_last_of(u'\\');
        if (cut != Path::npos && cut > 2) windows = system->substr(0, cut);
    }
    const auto root = platform.shell.environment_variable(u"SystemRoot");
    const auto windir = platform.shell.environment_variable(u"windir");
    if (within(windows) || within(root) || within(windir)) return "it is the Windows folder or inside it";
    for (const char16_t* name : {u"ProgramFiles", u"ProgramFiles(x86)", u"ProgramW6432"}) {
        if (within(platform.shell.environment_variable(name))) {
            return "it is in Program Files, which is for programs installed for every user; choose a "
                               "folder of your own";
        }
    }
    if (const auto profile = platform.shell.environment_variable(u"USERPROFILE"); within(profile) && !within(profile, false)) {
        return "it is your profile folder itself; choose a folder inside it";
    }
    return nullptr;
}

}  // namespace

Path normal_folder_path(std::u16string_view path) {
    Path folder(path);
    for (char16_t& c : folder) {
        if (c == u'/') c = u'\\';
    }
    while (folder.size() > 3 && folder.back() == u'\\') folder.pop_back();
    if (folder.size() == 2 && is_letter(folder[0]) && folder[1] == u':') folder += u'\\';
    return folder;
}

Result<Path> check_chosen_folder(platform::Platform& platform, const AppManifest& manifest, std::u16string_view chosen) {
    const Path folder = normal_folder_path(chosen);
    const char* problem = path_problem(folder);
    if (!problem) {
        switch (platform.files.drive_type(folder.substr(0, 3))) {
            case kDriveFixed:
            case kDriveRemovable:
            case kDriveRamDisk:
                problem = system_folder_problem(platform, folder);
                break;
            case kDriveRemote:
                problem = "it is on a network drive; choose a folder on one of this computer's own drives";
                break;
            default:
                problem = "it isn't on a local drive this computer can write to";
        }
    }
    if (!problem) {
        const auto info = platform.files.metadata(folder);
        if (!info) return folder;  // missing: the install creates it, and says so if it can't
        if (!info->is_folder) {
            problem = "it is a file";
        } else if (const auto entries = platform.files.list_folder(folder); entries && !entries->empty()) {
            // Only an earlier install of this app may be there already.
            const auto exe = platform.files.metadata(join_path(folder, to_utf16(manifest.exe)));
            if (!exe || exe->is_folder) problem = "it already holds other files; choose a new or empty folder";
        }
    }
    if (!problem) return folder;
    return unexpected(Failure{concat({"Can't install into ", path_text(chosen), ": ", problem, "."})});
}

}  // namespace plinth
