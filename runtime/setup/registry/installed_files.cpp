#include "registry/installed_files.h"

#include <vector>

#include "failures/message_failure.h"
#include "package/app_files.h"
#include "registry/registry_access.h"
#include "registry/uninstall_entry.h"

namespace plinth {

Result<std::optional<std::vector<std::string>>> read_installed_files(platform::Platform& platform,
                                                                     std::string_view id) {
    using Listed = std::optional<std::vector<std::string>>;
    std::string text;
    bool sized;
    const platform::ErrorCode code =
        read_text_value(platform, uninstall_key_path(id), kInstalledFilesValue, text, sized);
    if (code == platform::codes::kFileNotFound && !sized) return Listed();  // no key, or no list in it
    if (code != platform::codes::kSuccess) return fail(Message::cant_read_registry, {decimal_text(code)});
    // A list no install of ours wrote (tampered, or cut short) names nothing to delete.
    return split_installed_paths(text);
}

}  // namespace plinth
