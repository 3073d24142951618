#include "platform/win32/session.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "common/command_line_split.h"
#include "common/text.h"
#include "platform/win32/module.h"
#include "platform/win32/system_library.h"
#include "platform/win32/wide.h"
#include "platform/win32/work_ahead.h"

namespace plinth::platform::win32 {

std::vector<std::u16string> Win32Session::arguments() {
    std::vector<std::u16string> result = split_command_line(wide_view(GetCommandLineW()));
    // An empty command line stands for the program alone, as CommandLineToArgvW has it.
    if (result.empty()) {
        if (auto own_path = Win32Module().own_path()) result.push_back(std::move(*own_path));
    }
    return result;
}

void Win32Session::initialize_com(std::uint32_t coinit) { request_com_apartment(coinit); }

namespace {

// A GUI program has a standard stream only when its parent handed one down.
void write_to(DWORD which, std::string_view bytes) {
    HANDLE stream = GetStdHandle(which);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE) return;
    while (!bytes.empty()) {
        DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(stream, bytes.data(), want, &written, nullptr) || written == 0) return;
        bytes.remove_prefix(written);
    }
}

}  // namespace

void Win32Session::write_standard_error(std::string_view bytes) { write_to(STD_ERROR_HANDLE, bytes); }
void Win32Session::write_standard_output(std::string_view bytes) { write_to(STD_OUTPUT_HANDLE, bytes); }

LocalDate Win32Session::local_date() { return local_time(); }

LocalTime Win32Session::local_time() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    LocalTime time;
    time.year = now.wYear;
    time.month = now.wMonth;
    time.day = now.wDay;
    time.hour = now.wHour;
    time.minute = now.wMinute;
    time.second = now.wSecond;
    time.millisecond = now.wMilliseconds;
    return time;
}

std::string Win32Session::preferred_ui_languages() {
    // Tags are short: a list that doesn't fit falls back to the one language.
    wchar_t names[256] = {};
    ULONG count = 0;
    ULONG length = 256;
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, names, &length)) {
        names[0] = 0;
        LCIDToLocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT), names, 255, 0);
    }
    // NUL-terminated tags, ended by an empty one: the NULs between them become commas.
    std::size_t end = 0;
    for (; end + 1 < 256 && (names[end] != 0 || names[end + 1] != 0); ++end) {
        if (names[end] == 0) names[end] = L',';
    }
    return to_utf8(std::u16string_view(reinterpret_cast<const char16_t*>(names), end));
}

std::unique_ptr<WorkAhead> Win32Session::work_ahead(BufferMaker& maker, std::size_t budget) {
    return start_work_ahead(maker, budget);
}

std::unique_ptr<Worker> Win32Session::start_worker(void (*work)(void*), void* data) {
    return start_thread_worker(work, data);
}

}  // namespace plinth::platform::win32
