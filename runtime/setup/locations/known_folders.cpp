#include "locations/known_folders.h"

#include "system_error/error_text.h"

namespace plinth {

Result<Path> known_folder_path(platform::Platform& platform, platform::KnownFolder folder) {
    auto path = platform.shell.known_folder(folder, kKnownFolderCreate);
    if (!path) return fail(com_error_text(platform.system_text, path.error()));
    // Kept exactly as the shell gave it, even with an unpaired surrogate: that is still a usable
    // Windows path, whereas an empty one would point at the current folder.
    return std::move(*path);
}

}  // namespace plinth
