// A text that Windows writes into a buffer of the caller's size, however long it turns out.
#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace plinth::platform::win32 {

// What writes the text: the units written, 0 on failure (the last error says why), or, when the
// buffer is too small, the size it needs, terminating NUL included. `context` is the caller's.
using TextWriter = DWORD (*)(const void* context, wchar_t* buffer, DWORD size);

// The text `write` gives, from a buffer of `size` units grown until the text fits; or the last
// error of a call that wrote nothing. One loop for every such call, rather than one each.
SysResult<std::u16string> grown_text(std::size_t size, const void* context, TextWriter write);

}  // namespace plinth::platform::win32
