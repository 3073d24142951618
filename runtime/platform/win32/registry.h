// The registry under HKEY_CURRENT_USER.
#pragma once

#include "platform/platform.h"

namespace plinth::platform::win32 {

class Win32Registry final : public Registry {
public:
    Expected<std::unique_ptr<RegistryKey>, ErrorCode> create_key(const std::u16string& path,
                                                                 std::uint32_t options,
                                                                 std::uint32_t access) override;
    ErrorCode get_value(const std::u16string& path, const std::u16string& name,
                        std::uint32_t flags, void* data, std::uint32_t* byte_count) override;
    ErrorCode delete_tree(const std::u16string& path) override;
    ErrorCode delete_key(const std::u16string& path) override;
    ErrorCode delete_key_value(const std::u16string& path, const std::u16string& name) override;
    SysResult<KeyCounts> key_counts(RegistryRoot root, const std::u16string& path) override;
};

}  // namespace plinth::platform::win32
