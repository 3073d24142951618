#include "platform/win32/system_text.h"

#include <windows.h>

#include <string>

#include "platform/win32/wide.h"

namespace plinth::platform::win32 {

SysResult<std::u16string> Win32SystemText::format_message(std::uint32_t flags, bool from_ntdll,
                                                          std::uint32_t code, std::uint32_t language) {
    constexpr DWORD kUnits = 2048;
    std::u16string buffer;
    buffer.resize(kUnits);
    HMODULE source = nullptr;
    if (from_ntdll) {
        source = GetModuleHandleW(L"NTDLL.DLL");
        if (!source) return unexpected(static_cast<ErrorCode>(GetLastError()));
    }
    // The buffer is ours: letting FormatMessageW allocate one would write a pointer into it.
    flags &= ~static_cast<std::uint32_t>(FORMAT_MESSAGE_ALLOCATE_BUFFER);
    DWORD length = FormatMessageW(flags, source, code, language, wide_buffer(buffer), kUnits, nullptr);
    if (length == 0) return unexpected(static_cast<ErrorCode>(GetLastError()));
    return filled(buffer, length);
}

}  // namespace plinth::platform::win32
