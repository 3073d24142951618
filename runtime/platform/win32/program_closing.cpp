// /close-app's one system call: the programs running from the install folder asked to close, as
// the user would close them, and never ended.
#include <windows.h>

#include <type_traits>

#include "platform/win32/processes.h"
#include "platform/win32/system_library.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace plinth::platform::win32 {
namespace {

// user32's functions, in the order of kCalls.
enum Call { kEnumWindows, kWindowProcess, kVisible, kRelated, kPost, kCallCount };
constexpr const char* kCalls[kCallCount] = {"EnumWindows", "GetWindowThreadProcessId", "IsWindowVisible", "GetWindow",
                                            "PostMessageW"};

// The app's processes asked so far, each held (so that its id isn't reused) until the wait ends.
// As many as one wait can watch: an app has a few.
struct Search {
    Search() = default;
    Search(const Search&) = delete;
    Search& operator=(const Search&) = delete;
    ~Search() {
        for (unsigned i = 0; i < count; ++i) CloseHandle(processes[i]);
    }

    const std::u16string* folder = nullptr;  // ends with a backslash
    DWORD own = 0;
    FARPROC calls[kCallCount] = {};
    HANDLE processes[MAXIMUM_WAIT_OBJECTS] = {};
    DWORD ids[MAXIMUM_WAIT_OBJECTS] = {};
    unsigned count = 0;
};

template <class Function>
Function* call(const Search& search, Call index) {
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(search.calls[index]));
}

bool lies_in(HANDLE process, const std::u16string& folder) {
    // Only this thread looks for programs, and only once at a time: the buffer needs no stack.
    static wchar_t image[32768];
    DWORD size = 32768;
    if (!QueryFullProcessImageNameW(process, 0, image, &size) || size <= folder.size()) return false;
    return CompareStringOrdinal(image, static_cast<int>(folder.size()), wide(folder), static_cast<int>(folder.size()),
                                TRUE) == CSTR_EQUAL;
}

BOOL CALLBACK each_window(HWND window, LPARAM data) {
    Search& search = *reinterpret_cast<Search*>(data);
    // A main window: an owned one (a dialog, a tool window) closes only itself.
    if (!call<decltype(IsWindowVisible)>(search, kVisible)(window) || call<decltype(GetWindow)>(search, kRelated)(window, GW_OWNER)) {
        return TRUE;
    }
    DWORD id = 0;
    call<decltype(GetWindowThreadProcessId)>(search, kWindowProcess)(window, &id);
    if (id == 0 || id == search.own) return TRUE;
    bool asked = false;
    for (unsigned i = 0; i < search.count; ++i) asked = asked || search.ids[i] == id;
    if (!asked) {
        if (search.count == MAXIMUM_WAIT_OBJECTS) return TRUE;
        UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id));
        if (!process || !lies_in(process.get(), *search.folder)) return TRUE;
        search.ids[search.count] = id;
        search.processes[search.count++] = process.release();
    }
    call<decltype(PostMessageW)>(search, kPost)(window, WM_CLOSE, 0, 0);
    return TRUE;
}

}  // namespace

ClosedPrograms Win32Processes::close_programs_in(const Path& folder, std::uint32_t timeout_ms) {
    ClosedPrograms result;
    Search search;
    for (int i = 0; i < kCallCount; ++i) {
        auto found = user32().function<std::remove_pointer_t<FARPROC>>(kCalls[i]);
        if (!found) return result;
        search.calls[i] = *found;
    }
    std::u16string inside = folder;
    if (!inside.ends_with(u'\\')) inside += u'\\';
    search.folder = &inside;
    search.own = GetCurrentProcessId();
    call<decltype(EnumWindows)>(search, kEnumWindows)(&each_window, reinterpret_cast<LPARAM>(&search));
    result.asked = search.count;
    if (search.count == 0) return result;
    // Every one has ended, or the time is up: then each is looked at once more.
    WaitForMultipleObjects(search.count, search.processes, TRUE, timeout_ms);
    for (unsigned i = 0; i < search.count; ++i) {
        if (WaitForSingleObject(search.processes[i], 0) != WAIT_OBJECT_0) ++result.still_running;
    }
    return result;
}

}  // namespace plinth::platform::win32
