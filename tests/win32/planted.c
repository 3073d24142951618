/* A DLL the probe finds beside itself: loaded by name with the default search, it comes from
 * there; the Win32 layer's loads by name must never find it. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance; (void)reason; (void)reserved;
    return TRUE;
}
