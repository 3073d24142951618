/* Hello CMake: the smallest Windows app, here to show plinth_add_installer in a CMake build. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR command_line, int show)
{
    (void)instance;
    (void)previous;
    (void)command_line;
    (void)show;
    MessageBoxW(NULL, L"Hello from an app built with CMake and installed by plinth.", L"Hello CMake",
                MB_OK | MB_ICONINFORMATION);
    return 0;
}
