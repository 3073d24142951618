#include "registry/installed_files.h"

#include <vector>

#include "package/app_files.h"
#include "registry/uninstall_entry.h"

namespace plinth {
namespace {

constexpr std::uint32_t kRestrictSz = 0x00000002;  // RRF_RT_REG_SZ

// The value's text, nothing when the key or the value is missing, or the failure text.
Result<std::optional<std::string>> read_value(platform::Platform& platform, const std::string& key_path,
                                              std::string_view name) {
    const auto failure = [&](platform::ErrorCode code) {
        return fail("Can't read the registry (" + std::string(name) + ", error " + std::to_string(code) + ").");
    };
    std::uint32_t count = 0;
    const platform::ErrorCode code =
        platform.registry.get_value(to_utf16(key_path), to_utf16(name), kRestrictSz, nullptr, &count);
    if (code == platform::codes::kFileNotFound) return std::optional<std::string>();
    if (code != platform::codes::kSuccess) return failure(code);
    std::vector<char16_t> buffer(count / 2 + 1, u'\0');
    std::uint32_t returned = count;
    const platform::ErrorCode read =
        platform.registry.get_value(to_utf16(key_path), to_utf16(name), kRestrictSz, buffer.data(), &returned);
    if (read != platform::codes::kSuccess) return failure(read);  // also when it grew in between
    if (returned > count) return failure(platform::codes::kMoreData);
    std::u16string_view units(buffer.data(), returned / 2);
    while (!units.empty() && units.back() == u'\0') units.remove_suffix(1);
    return std::optional<std::string>(to_utf8(units));
}

}  // namespace

Result<std::optional<std::vector<std::string>>> read_installed_files(platform::Platform& platform,
                                                                     std::string_view id, const Path& folder) {
    using Listed = std::optional<std::vector<std::string>>;
    if (id.find('\0') != std::string_view::npos) return Listed();
    const std::string key_path = uninstall_key_path(id);
    auto listed = read_value(platform, key_path, kInstalledFilesValue);
    if (!listed) return fail(std::move(listed.error().text));
    if (!*listed) return Listed();
    // Relative paths mean something only in the folder they were installed into.
    auto location = read_value(platform, key_path, "InstallLocation");
    if (!location) return fail(std::move(location.error().text));
    if (!*location || **location != path_text(folder)) return Listed();
    return Listed(split_installed_paths(**listed));
}

}  // namespace plinth
