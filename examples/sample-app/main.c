/* Plinth Sample: the tiny Windows app that the demo and the end-to-end tests install.
 *
 * Started with a document path, it shows the document's path and text. Started with the
 * environment variable PLINTH_SAMPLE_MARKER naming a file, it writes its command line there
 * (UTF-8) and exits at once: tests use that to see that the installer opened it, and how.
 * Started by the installer as a hook (with --plinth-version=) and with PLINTH_SAMPLE_HOOKS naming
 * a file, it appends a line there: its command line, its current folder and how it was asked to
 * show its window; --sample-hang then makes it wait ten minutes, and --sample-exit=N exit with N. */
#define WIN32_LEAN_AND_MEAN
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#define SAMPLE_MAX_SHOWN_BYTES (64 * 1024)

/* Writes the command line to the marker file; returns the process exit code. */
static int write_marker(const wchar_t *marker_path)
{
    const wchar_t *command_line = GetCommandLineW();
    int length = WideCharToMultiByte(CP_UTF8, 0, command_line, -1, NULL, 0, NULL, NULL);
    if (length <= 0)
        return 3;
    char *text = malloc((size_t)length);
    if (!text)
        return 3;
    WideCharToMultiByte(CP_UTF8, 0, command_line, -1, text, length, NULL, NULL);

    int result = 3;
    HANDLE file = CreateFileW(marker_path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        DWORD size = (DWORD)(length - 1); /* without the terminating zero */
        if (WriteFile(file, text, size, &written, NULL) && written == size)
            result = 0;
        CloseHandle(file);
    }
    free(text);
    return result;
}

/* Appends "<command line>|<current folder>|show=<n>" and a line feed to the file; the exit code
 * the hook's own arguments ask for. */
static int append_hook_line(const wchar_t *path)
{
    const wchar_t *command_line = GetCommandLineW();
    wchar_t folder[32768];
    DWORD folder_units = GetCurrentDirectoryW(32768, folder);
    if (folder_units == 0 || folder_units >= 32768)
        folder[0] = 0;
    STARTUPINFOW startup;
    GetStartupInfoW(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
    size_t units = wcslen(command_line) + wcslen(folder) + 32;
    wchar_t *line = calloc(units, sizeof(wchar_t));
    if (!line)
        return 3;
    swprintf(line, units, L"%ls|%ls|show=%d\n", command_line, folder, show);
    int length = WideCharToMultiByte(CP_UTF8, 0, line, -1, NULL, 0, NULL, NULL);
    char *text = length > 0 ? malloc((size_t)length) : NULL;
    int result = 3;
    if (text) {
        WideCharToMultiByte(CP_UTF8, 0, line, -1, text, length, NULL, NULL);
        HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            if (WriteFile(file, text, (DWORD)(length - 1), &written, NULL))
                result = 0;
            CloseHandle(file);
        }
    }
    free(text);
    free(line);
    if (result != 0)
        return result;
    if (wcsstr(command_line, L"--sample-hang"))
        Sleep(600000);
    const wchar_t *exit_code = wcsstr(command_line, L"--sample-exit=");
    return exit_code ? _wtoi(exit_code + wcslen(L"--sample-exit=")) : 0;
}

/* The text shown for a document: its path, then its first bytes as UTF-8 text. */
static wchar_t *describe_document(const wchar_t *path)
{
    static const wchar_t unreadable[] = L"(This document can't be read.)";
    char *bytes = NULL;
    DWORD read = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        bytes = malloc(SAMPLE_MAX_SHOWN_BYTES);
        if (bytes && !ReadFile(file, bytes, SAMPLE_MAX_SHOWN_BYTES, &read, NULL))
            read = 0;
        CloseHandle(file);
    }
    int content_units = read ? MultiByteToWideChar(CP_UTF8, 0, bytes, (int)read, NULL, 0) : 0;
    size_t path_units = wcslen(path);
    size_t total = path_units + 4 + (size_t)content_units + wcslen(unreadable) + 1;
    wchar_t *text = calloc(total, sizeof(wchar_t));
    if (text) {
        wcscpy(text, path);
        wcscat(text, L"\r\n\r\n");
        if (content_units > 0)
            MultiByteToWideChar(CP_UTF8, 0, bytes, (int)read, text + path_units + 4, content_units);
        else if (file == INVALID_HANDLE_VALUE)
            wcscat(text, unreadable);
    }
    free(bytes);
    return text;
}

static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_SIZE: {
        HWND edit = GetDlgItem(window, 1);
        if (edit)
            MoveWindow(edit, 8, 8, LOWORD(lparam) - 16, HIWORD(lparam) - 16, TRUE);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR command_line, int show)
{
    (void)previous;
    (void)command_line;

    wchar_t hooks[32768];
    DWORD hooks_units = GetEnvironmentVariableW(L"PLINTH_SAMPLE_HOOKS", hooks, 32768);
    if (hooks_units > 0 && hooks_units < 32768 && wcsstr(GetCommandLineW(), L"--plinth-version="))
        return append_hook_line(hooks);

    wchar_t marker[32768];
    DWORD marker_units = GetEnvironmentVariableW(L"PLINTH_SAMPLE_MARKER", marker, 32768);
    if (marker_units > 0 && marker_units < 32768)
        return write_marker(marker);

    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    wchar_t *shown = NULL;
    if (argv && argc > 1)
        shown = describe_document(argv[1]);
    if (argv)
        LocalFree(argv);

    WNDCLASSEXW window_class = {0};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    window_class.hIconSm = (HICON)LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), 0);
    window_class.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    window_class.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    window_class.lpszClassName = L"PlinthSampleWindow";
    if (!RegisterClassExW(&window_class))
        return 1;

    HWND window = CreateWindowExW(0, L"PlinthSampleWindow", L"Plinth Sample",
                                  WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 480, 320,
                                  NULL, NULL, instance, NULL);
    if (!window)
        return 1;
    CreateWindowExW(0, L"EDIT",
                    shown ? shown : L"Hello from Plinth Sample.\r\n\r\nOpen a .plnote file to see it here.",
                    WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                    8, 8, 448, 264, window, (HMENU)(INT_PTR)1, instance, NULL);
    free(shown);
    SendMessageW(GetDlgItem(window, 1), WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), TRUE);
    ShowWindow(window, show);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return (int)message.wParam;
}
