/* FolderApp.exe: the folder sample. It proves its two other files when run:
     FolderApp.exe REPORT [--stay]
   writes to REPORT (UTF-8) the text of FolderCore.dll, loaded at start through the import
   table, and the name and first line of the first data\*.txt beside the exe. With --stay it
   then keeps running (and keeps the DLL loaded) until it is ended, at most five minutes.
   Exit codes: 0 written, 2 wrong command line, 3 the report can't be written, 4 no data file. */
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

__declspec(dllimport) const char *folder_core_greeting(void);

static int write_utf8(HANDLE file, const wchar_t *text) {
    char buffer[4096];
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, NULL, NULL);
    DWORD written = 0;
    return size > 0 && WriteFile(file, buffer, (DWORD)(size - 1), &written, NULL);
}

int wmain(int argc, wchar_t **argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && wcscmp(argv[2], L"--stay") != 0)) return 2;

    wchar_t folder[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 4;
    wchar_t *slash = wcsrchr(folder, L'\\');
    if (slash) *slash = 0;

    wchar_t pattern[MAX_PATH + 16];
    swprintf(pattern, MAX_PATH + 16, L"%ls\\data\\*.txt", folder);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return 4;
    FindClose(search);

    wchar_t data_path[2 * MAX_PATH];
    swprintf(data_path, 2 * MAX_PATH, L"%ls\\data\\%ls", folder, found.cFileName);
    char line[256] = {0};
    FILE *data = _wfopen(data_path, L"rb");
    if (!data) return 4;
    if (!fgets(line, sizeof line, data)) line[0] = 0;
    fclose(data);
    line[strcspn(line, "\r\n")] = 0;

    wchar_t report[1024];
    swprintf(report, 1024, L"dll: %hs\r\ndata: %ls: %hs\r\n", folder_core_greeting(), found.cFileName, line);
    HANDLE file = CreateFileW(argv[1], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 3;
    int ok = write_utf8(file, report);
    CloseHandle(file);
    if (!ok) return 3;

    if (argc == 3) Sleep(5 * 60 * 1000);
    return 0;
}
