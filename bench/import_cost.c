/* What imports cost at start-up: a do-nothing GUI program that imports (but never calls) what
 * its -D flags name, and with -DWITH_COM initialises a single-threaded apartment. Built in
 * several variants by bench/run: what the stub imports, and what it loads only on demand. */
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR command_line, int show) {
    (void)instance; (void)previous; (void)show;
    /* Never true when bench/run starts it: only there so that the linker imports each DLL. */
    if (command_line && command_line[0] == L'!') {
#ifdef WITH_ADVAPI32
        RegCloseKey(NULL);
#endif
#ifdef WITH_USER32
        MessageBeep(0);
#endif
#ifdef WITH_SHELL_AND_OLE
        SHChangeNotify(0, 0, NULL, NULL);
        CoTaskMemFree(NULL);
        SysFreeString(NULL);
#endif
#ifdef WITH_COMCTL32
        InitCommonControls();
#endif
    }
#ifdef WITH_COM
    CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
#endif
    return 0;
}
