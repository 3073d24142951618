// /close-app's one system call: the programs running from the install folder asked to close, as
// the user would close them, and never ended.
#include <windows.h>

#include <vector>

#include "platform/win32/processes.h"
#include "platform/win32/system_library.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace plinth::platform::win32 {
namespace {

struct Search {
    std::u16string folder;  // ends with a backslash
    DWORD own = 0;
    decltype(&GetWindowThreadProcessId) owner_of = nullptr;
    decltype(&IsWindowVisible) visible = nullptr;
    decltype(&GetWindow) related = nullptr;
    decltype(&PostMessageW) post = nullptr;
    std::vector<DWORD> looked_at;   // each process once, whether it is the app's or not
    std::vector<UniqueKernelHandle> asked;
};

bool lies_in(HANDLE process, const std::u16string& folder) {
    std::u16string image;
    image.resize(32768);
    DWORD size = static_cast<DWORD>(image.size());
    if (!QueryFullProcessImageNameW(process, 0, wide_buffer(image), &size) || size <= folder.size()) return false;
    return CompareStringOrdinal(wide_buffer(image), static_cast<int>(folder.size()), wide(folder),
                                static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
}

BOOL CALLBACK each_window(HWND window, LPARAM data) {
    Search& search = *reinterpret_cast<Search*>(data);
    // A main window: an owned one (a dialog, a tool window) closes only itself.
    if (!search.visible(window) || search.related(window, GW_OWNER) != nullptr) return TRUE;
    DWORD id = 0;
    search.owner_of(window, &id);
    if (id == 0 || id == search.own) return TRUE;
    bool seen = false;
    for (DWORD looked : search.looked_at) seen = seen || looked == id;
    if (!seen) {
        search.looked_at.push_back(id);
        UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id));
        if (!process || !lies_in(process.get(), search.folder)) return TRUE;
        search.asked.push_back(std::move(process));
    } else {
        // Asked already, or not the app's: posted to only when the first window was.
        bool ours = false;
        for (const UniqueKernelHandle& process : search.asked) ours = ours || GetProcessId(process.get()) == id;
        if (!ours) return TRUE;
    }
    search.post(window, WM_CLOSE, 0, 0);
    return TRUE;
}

}  // namespace

ClosedPrograms Win32Processes::close_programs_in(const Path& folder, std::uint32_t timeout_ms) {
    Search search;
    search.folder = folder;
    if (!search.folder.ends_with(u'\\')) search.folder += u'\\';
    search.own = GetCurrentProcessId();
    auto enumerate = user32().function<decltype(EnumWindows)>("EnumWindows");
    auto owner_of = user32().function<decltype(GetWindowThreadProcessId)>("GetWindowThreadProcessId");
    auto visible = user32().function<decltype(IsWindowVisible)>("IsWindowVisible");
    auto related = user32().function<decltype(GetWindow)>("GetWindow");
    auto post = user32().function<decltype(PostMessageW)>("PostMessageW");
    ClosedPrograms result;
    if (!enumerate || !owner_of || !visible || !related || !post) return result;
    search.owner_of = *owner_of;
    search.visible = *visible;
    search.related = *related;
    search.post = *post;
    (*enumerate)(&each_window, reinterpret_cast<LPARAM>(&search));
    result.asked = static_cast<std::uint32_t>(search.asked.size());
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (const UniqueKernelHandle& process : search.asked) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        if (WaitForSingleObject(process.get(), left) != WAIT_OBJECT_0) ++result.still_running;
    }
    return result;
}

}  // namespace plinth::platform::win32
