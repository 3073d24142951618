// The process entry of plinth-setup.exe.
#include <windows.h>

#include <cstdlib>

#include "entry/run.h"
#include "platform/win32/win32_platform.h"

// libstdc++'s default terminate handler prints the demangled exception type to a console this
// GUI program doesn't have; replacing it keeps its demangler (about 45 KiB) out of the stub.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything else can load a library: DLLs come from the system folder only, never
    // from the folder the installer was downloaded to.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);

    plinth::platform::win32::Win32Platform windows;
    plinth::platform::Platform platform = windows.view();
    return plinth::run_setup(platform);
}
