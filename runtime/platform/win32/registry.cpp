#include "platform/win32/registry.h"

#include <limits>

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace plinth::platform::win32 {
namespace {

class Win32RegistryKey final : public RegistryKey {
public:
    explicit Win32RegistryKey(UniqueHkey key) : key_(std::move(key)) {}

    ErrorCode set_value(const std::u16string& name, std::uint32_t type,
                        std::span<const std::uint8_t> data) override {
        if (data.size() > std::numeric_limits<DWORD>::max()) return ERROR_INVALID_PARAMETER;
        return static_cast<ErrorCode>(RegSetValueExW(key_.get(), wide(name), 0, type, data.data(),
                                                     static_cast<DWORD>(data.size())));
    }

private:
    UniqueHkey key_;
};

}  // namespace

Expected<std::unique_ptr<RegistryKey>, ErrorCode> Win32Registry::create_key(
    const std::u16string& path, std::uint32_t options, std::uint32_t access) {
    UniqueHkey key;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, wide(path), 0, nullptr, options, access,
                                     nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) return unexpected(static_cast<ErrorCode>(status));
    return std::unique_ptr<RegistryKey>(new Win32RegistryKey(std::move(key)));
}

ErrorCode Win32Registry::get_value(const std::u16string& path, const std::u16string& name,
                                   std::uint32_t flags, void* data, std::uint32_t* byte_count) {
    DWORD count = byte_count ? *byte_count : 0;
    LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, wide(path), wide(name), flags, nullptr, data,
                                  byte_count ? &count : nullptr);
    if (byte_count) *byte_count = count;
    return static_cast<ErrorCode>(status);
}

ErrorCode Win32Registry::delete_tree(const std::u16string& path) {
    // An empty path would name HKEY_CURRENT_USER itself and empty the user's whole registry.
    if (path.empty()) return ERROR_INVALID_PARAMETER;
    return static_cast<ErrorCode>(RegDeleteTreeW(HKEY_CURRENT_USER, wide(path)));
}

ErrorCode Win32Registry::delete_key(const std::u16string& path) {
    return static_cast<ErrorCode>(RegDeleteKeyW(HKEY_CURRENT_USER, wide(path)));
}

ErrorCode Win32Registry::delete_key_value(const std::u16string& path, const std::u16string& name) {
    return static_cast<ErrorCode>(RegDeleteKeyValueW(HKEY_CURRENT_USER, wide(path), wide(name)));
}

SysResult<KeyCounts> Win32Registry::key_counts(RegistryRoot root, const std::u16string& path) {
    UniqueHkey key;
    LSTATUS status = RegOpenKeyExW(root == RegistryRoot::classes_root ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER,
                                   wide(path), 0, KEY_QUERY_VALUE, key.put());
    if (status != ERROR_SUCCESS) return unexpected(static_cast<ErrorCode>(status));
    DWORD subkeys = 0;
    DWORD values = 0;
    status = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                              nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return unexpected(static_cast<ErrorCode>(status));
    return KeyCounts{subkeys, values};
}

}  // namespace plinth::platform::win32
