#include "registry/installed_files.h"

#include <vector>

#include "failures/message_failure.h"
#include "package/app_files.h"
#include "registry/uninstall_entry.h"

namespace plinth {

Result<std::optional<std::vector<std::string>>> read_installed_files(platform::Platform& platform,
                                                                     std::string_view id) {
    using Listed = std::optional<std::vector<std::string>>;
    constexpr std::uint32_t kRestrictSz = 0x00000002;  // RRF_RT_REG_SZ
    if (id.find('\0') != std::string_view::npos) return Listed();
    const std::u16string key = to_utf16(uninstall_key_path(id));
    const std::u16string name = to_utf16(kInstalledFilesValue);
    std::uint32_t count = 0;
    platform::ErrorCode code = platform.registry.get_value(key, name, kRestrictSz, nullptr, &count);
    if (code == platform::codes::kFileNotFound) return Listed();  // no key, or no list in it
    std::vector<char16_t> buffer(count / 2 + 1, u'\0');
    std::uint32_t returned = count;
    if (code == platform::codes::kSuccess) {
        code = platform.registry.get_value(key, name, kRestrictSz, buffer.data(), &returned);
        // Also when it grew in between, or claims more than was offered.
        if (code == platform::codes::kSuccess && returned > count) code = platform::codes::kMoreData;
    }
    if (code != platform::codes::kSuccess) {
        return fail(Message::cant_read_registry, {decimal_text(code)});
    }
    std::u16string_view units(buffer.data(), returned / 2);
    while (!units.empty() && units.back() == u'\0') units.remove_suffix(1);
    // A list no install of ours wrote (tampered, or cut short) names nothing to delete.
    return split_installed_paths(to_utf8(units));
}

}  // namespace plinth
