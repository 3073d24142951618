#include "platform/win32/session.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace plinth::platform::win32 {

std::vector<std::u16string> Win32Session::arguments() {
    int count = 0;
    UniqueLocalMem<LPWSTR> arguments(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::u16string> result;
    if (!arguments) return result;
    result.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) result.push_back(from_wide(arguments.get()[i]));
    return result;
}

void Win32Session::initialize_com(std::uint32_t coinit) { CoInitializeEx(nullptr, coinit); }

void Win32Session::write_standard_error(std::string_view bytes) {
    // A GUI program has a standard error stream only when its parent handed one down.
    HANDLE stream = GetStdHandle(STD_ERROR_HANDLE);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE) return;
    while (!bytes.empty()) {
        DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(stream, bytes.data(), want, &written, nullptr) || written == 0) return;
        bytes.remove_prefix(written);
    }
}

LocalDate Win32Session::local_date() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay};
}

}  // namespace plinth::platform::win32
