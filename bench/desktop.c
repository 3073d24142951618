/* Holds a Wine desktop open while the install rows run, as explorer always holds one on Windows:
 * without it, each installer that loads user32 (through shell32 and ole32) makes Wine start a
 * desktop process and wait for it, a cost no Windows machine has. A hidden window and a message
 * loop until it is killed. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR command_line, int show) {
    (void)previous; (void)command_line; (void)show;
    WNDCLASSW window_class = {0};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = instance;
    window_class.lpszClassName = L"PlinthBenchDesktop";
    if (!RegisterClassW(&window_class)) return 1;
    if (!CreateWindowExW(0, window_class.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, NULL, NULL, instance, NULL))
        return 1;
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
