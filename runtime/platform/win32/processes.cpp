#include "platform/win32/processes.h"

#include <windows.h>

#include <tlhelp32.h>


#include "platform/win32/grown_text.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace plinth::platform::win32 {

namespace {

// CreateProcessW; the child's process handle, its thread's closed at once.
SysResult<UniqueKernelHandle> create_process(const ProcessStart& start) {
    // CreateProcessW may write into the command line, so it gets a copy of its own (a string's
    // buffer holds its terminating NUL).
    std::u16string command_line = start.command_line;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (start.hidden) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(start.application ? wide(*start.application) : nullptr,
                        reinterpret_cast<wchar_t*>(command_line.data()), nullptr, nullptr, start.inherit_handles ? TRUE : FALSE,
                        start.creation_flags, nullptr,
                        start.current_directory ? wide(*start.current_directory) : nullptr,
                        &startup, &process))
        return unexpected(static_cast<ErrorCode>(GetLastError()));
    UniqueKernelHandle thread_handle(process.hThread);
    return UniqueKernelHandle(process.hProcess);
}

std::uint64_t creation_time(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (std::uint64_t(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

}  // namespace

ErrorCode Win32Processes::start(const ProcessStart& start) {
    // Nothing waits for the child.
    SysResult<UniqueKernelHandle> process = create_process(start);
    return process ? ERROR_SUCCESS : process.error();
}

SysResult<std::uint32_t> Win32Processes::run_and_wait(const ProcessStart& start,
                                                      std::optional<std::uint32_t> timeout_ms) {
    SysResult<UniqueKernelHandle> process = create_process(start);
    if (!process) return unexpected(process.error());
    const DWORD waited = WaitForSingleObject(process->get(), timeout_ms ? *timeout_ms : INFINITE);
    if (waited == WAIT_TIMEOUT) {
        // Ended, and waited for: what called this may let go of what the child relied on (a
        // lock, its file) only once the child can't act any more. Termination completes in
        // moments; the minute is for a child stuck in a driver.
        TerminateProcess(process->get(), WAIT_TIMEOUT);
        WaitForSingleObject(process->get(), 60'000);
        return unexpected(ErrorCode{WAIT_TIMEOUT});
    }
    if (waited != WAIT_OBJECT_0) return unexpected(static_cast<ErrorCode>(GetLastError()));
    DWORD exit_code = 0;
    if (!GetExitCodeProcess(process->get(), &exit_code)) return unexpected(static_cast<ErrorCode>(GetLastError()));
    return static_cast<std::uint32_t>(exit_code);
}

bool Win32Processes::wait_for_parent(std::uint32_t timeout_ms) {
    UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return true;
    const DWORD self = GetCurrentProcessId();
    DWORD parent_id = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == self) {
            parent_id = entry.th32ParentProcessID;
            break;
        }
    }
    if (parent_id == 0) return true;
    UniqueKernelHandle parent(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent_id));
    if (!parent) return true;
    // A parent that has exited may have left its number to a later process: that one is no
    // parent of ours.
    if (creation_time(parent.get()) > creation_time(current_process())) return true;
    return WaitForSingleObject(parent.get(), timeout_ms) != WAIT_TIMEOUT;
}

SysResult<Path> Win32Processes::system_folder() {
    return grown_text(MAX_PATH, nullptr, [](const void*, wchar_t* buffer, DWORD size) -> DWORD {
        return GetSystemDirectoryW(buffer, size);
    });
}

}  // namespace plinth::platform::win32
