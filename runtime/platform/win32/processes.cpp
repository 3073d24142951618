#include "platform/win32/processes.h"

#include <windows.h>

#include <vector>

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace plinth::platform::win32 {

ErrorCode Win32Processes::start(const ProcessStart& start) {
    // CreateProcessW may write into the command line, so it gets a copy of its own.
    std::vector<wchar_t> command_line(start.command_line.begin(), start.command_line.end());
    command_line.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(start.application ? wide(*start.application) : nullptr,
                        command_line.data(), nullptr, nullptr, start.inherit_handles ? TRUE : FALSE,
                        start.creation_flags, nullptr,
                        start.current_directory ? wide(*start.current_directory) : nullptr,
                        &startup, &process))
        return static_cast<ErrorCode>(GetLastError());
    // Nothing waits for the child.
    UniqueKernelHandle process_handle(process.hProcess);
    UniqueKernelHandle thread_handle(process.hThread);
    return ERROR_SUCCESS;
}

SysResult<Path> Win32Processes::system_folder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        UINT length = GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
        if (length == 0) return unexpected(static_cast<ErrorCode>(GetLastError()));
        if (length < buffer.size()) return from_wide(buffer.data(), length);
        // Too small: the result is the size needed, terminating NUL included.
        buffer.resize(length);
    }
}

}  // namespace plinth::platform::win32
