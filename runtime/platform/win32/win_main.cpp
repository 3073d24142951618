// The process entry of plinth-setup.exe. The stub is linked without mingw's start files (some
// 7 KiB: argv and environment parsing, the pseudo-relocator, TLS callbacks, a fault filter that
// maps faults to C signals), none of which it needs: it reads the command line itself, starts
// no thread that uses TLS, and sets no signal handler. What it does need is below: the static
// constructors, their destructors at exit, and the exit code.
#include <windows.h>

#include <cstddef>
#include <cstdlib>

#include "entry/run.h"
#include "platform/win32/win32_platform.h"

// libstdc++'s default terminate handler prints the demangled exception type to a console this
// GUI program doesn't have; replacing it keeps its demangler (about 45 KiB) out of the stub.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

extern "C" {
// The linker's table of static constructors: -1, the constructors, a null. (Its table of
// destructors stays empty: a static object's destructor is registered with atexit by its
// constructor, and the link fails on a .dtors entry, which nothing here would run.)
extern void (*__CTOR_LIST__[])();
// msvcrt's: a GUI program's CRT reports its own failures in a message box, not on a console.
__declspec(dllimport) void __cdecl __set_app_type(int type);

// The static destructors run at exit, last registered first: msvcrt's table of the process, the
// one its exit() runs before ExitProcess.
int __cdecl atexit(void(__cdecl* function)()) {
    return _onexit(reinterpret_cast<_onexit_t>(function)) != nullptr ? 0 : -1;
}

[[noreturn]] void wWinMainCRTStartup() {
    // Before anything else can load a library: DLLs come from the system folder only, never
    // from the folder the installer was downloaded to.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
    __set_app_type(2);  // _GUI_APP
    // The static constructors, last to first as libgcc's __main runs them (without its two
    // variables, the program's only initialised writable data).
    std::size_t constructors = 0;
    while (__CTOR_LIST__[constructors + 1]) ++constructors;
    for (; constructors != 0; --constructors) __CTOR_LIST__[constructors]();

    int code;
    {
        plinth::platform::win32::Win32Platform windows;
        plinth::platform::Platform platform = windows.view();
        code = plinth::run_setup(platform);
    }
    std::exit(code);
}
}
