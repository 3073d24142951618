// The system's message texts (FormatMessageW).
#pragma once

#include "platform/platform.h"

namespace plinth::platform::win32 {

class Win32SystemText final : public SystemText {
public:
    SysResult<std::u16string> format_message(std::uint32_t flags, bool from_ntdll,
                                             std::uint32_t code, std::uint32_t language = 0) override;
};

}  // namespace plinth::platform::win32
