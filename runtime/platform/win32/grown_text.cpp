#include "platform/win32/grown_text.h"

#include "platform/win32/wide.h"

namespace plinth::platform::win32 {

SysResult<std::u16string> grown_text(std::size_t size, const void* context, TextWriter write) {
    std::u16string buffer;
    buffer.resize(size);
    for (;;) {
        const DWORD length = write(context, wide_buffer(buffer), static_cast<DWORD>(buffer.size()));
        if (length == 0) return unexpected(static_cast<ErrorCode>(GetLastError()));
        if (length < buffer.size()) return filled(buffer, length);
        // Too small: the size needed. The text may change between calls, so ask again.
        buffer.resize(length);
    }
}

}  // namespace plinth::platform::win32
