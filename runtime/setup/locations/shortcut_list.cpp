#include "locations/shortcut_list.h"

#include "locations/folder_name.h"
#include "locations/known_folders.h"

namespace plinth {

std::vector<Path> shortcut_list(platform::Platform& platform, std::string_view display_name) {
    const Path file_name = to_utf16(folder_name(display_name) + ".lnk");
    std::vector<Path> list;
    for (auto folder : {platform::KnownFolder::programs, platform::KnownFolder::desktop}) {
        if (auto path = known_folder_path(platform, folder)) list.push_back(join_path(*path, file_name));
    }
    return list;
}

}  // namespace plinth
