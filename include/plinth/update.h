/* plinth/update.h: an installed app asks its own uninstall.exe for updates.
 *
 * Header-only C (C89 and later, C++ too); it needs nothing but kernel32. Both calls start
 * uninstall.exe from the folder of the running exe, which is where plinth installed the app.
 *
 *   char version[64];
 *   if (plinth_check_update(version, sizeof version) == PLINTH_UPDATE_AVAILABLE) {
 *       plinth_start_update(1);   (then exit: the update starts the app again)
 *   }
 *
 * A channel of its own (beta testers, say) is another feed: plinth_check_update_from(L"https://...",
 * version, sizeof version) and plinth_start_update_from(L"https://...", 1).
 *
 * See docs/updates.md for the feed, the switches and what is trusted.
 */
#ifndef PLINTH_UPDATE_H
#define PLINTH_UPDATE_H

#include <stddef.h>
#include <windows.h>

#define PLINTH_UPDATE_NONE 0      /* no newer version */
#define PLINTH_UPDATE_FAILED 1    /* the check failed (no network, bad feed, ...) */
#define PLINTH_UPDATE_AVAILABLE 3 /* a newer version exists */
#define PLINTH_UPDATE_NOT_STARTED (-1) /* uninstall.exe couldn't be started */

/* How long plinth_check_update waits for the check before it ends it: the check's own deadlines
 * (the feed within 60 s) end it sooner. */
#define PLINTH_UPDATE_CHECK_TIMEOUT_MS 120000

#if defined(__cplusplus)
#define PLINTH_UPDATE_API static inline
#elif defined(__GNUC__) || defined(_MSC_VER)
#define PLINTH_UPDATE_API static __inline
#else
#define PLINTH_UPDATE_API static
#endif

/* `"<the exe's folder>\uninstall.exe" <switches> ["/feed=<feed>"]` in a heap block (HeapFree
 * it), or NULL. A feed URL holds no quote; one is cut there. */
PLINTH_UPDATE_API wchar_t* plinth_update_command_line_(const wchar_t* switches, const wchar_t* feed) {
    DWORD capacity = 32768; /* the longest path Windows has */
    DWORD length, slash, i, count;
    DWORD feed_length = 0;
    wchar_t* line;
    if (feed != NULL) {
        while (feed[feed_length] != 0 && feed_length < 4096) ++feed_length;
        if (feed[feed_length] != 0) return NULL; /* no URL updates come from is this long */
    }
    line = (wchar_t*)HeapAlloc(GetProcessHeap(), 0, (capacity + 64 + feed_length + 12) * sizeof(wchar_t));
    if (line == NULL) return NULL;
    length = GetModuleFileNameW(NULL, line + 1, capacity);
    if (length == 0 || length >= capacity) {
        HeapFree(GetProcessHeap(), 0, line);
        return NULL;
    }
    slash = 0;
    for (i = 1; i <= length; ++i) {
        if (line[i] == L'\\' || line[i] == L'/') slash = i;
    }
    line[0] = L'"';
    count = slash + 1;
    {
        const wchar_t* name = L"uninstall.exe\" ";
        for (i = 0; name[i] != 0; ++i) line[count++] = name[i];
    }
    for (i = 0; switches[i] != 0 && i < 40; ++i) line[count++] = switches[i];
    if (feed != NULL) {
        const wchar_t* option = L" \"/feed=";
        for (i = 0; option[i] != 0; ++i) line[count++] = option[i];
        for (i = 0; feed[i] != 0 && feed[i] != L'"'; ++i) line[count++] = feed[i];
        line[count++] = L'"';
    }
    line[count] = 0;
    return line;
}

/* Starts uninstall.exe with the switches; `output`, when not NULL, receives its standard output.
 * The child inherits that pipe (and standard error, when it is inheritable) and no other handle
 * of the app's, where the headers know PROC_THREAD_ATTRIBUTE_HANDLE_LIST (Windows Vista on). */
PLINTH_UPDATE_API int plinth_update_start_(const wchar_t* switches, const wchar_t* feed, HANDLE output,
                                           PROCESS_INFORMATION* process) {
#if defined(PROC_THREAD_ATTRIBUTE_HANDLE_LIST)
    STARTUPINFOEXW extended;
    HANDLE inherited[2];
    DWORD count = 0, handle_flags = 0, creation = 0;
    SIZE_T list_size = 0;
    LPPROC_THREAD_ATTRIBUTE_LIST list = NULL;
#else
    STARTUPINFOW plain;
#endif
    STARTUPINFOW* startup;
    BOOL started;
    wchar_t* line = plinth_update_command_line_(switches, feed);
    if (line == NULL) return 0;
#if defined(PROC_THREAD_ATTRIBUTE_HANDLE_LIST)
    ZeroMemory(&extended, sizeof extended);
    startup = &extended.StartupInfo;
#else
    ZeroMemory(&plain, sizeof plain);
    startup = &plain;
#endif
    startup->cb = sizeof *startup;
    if (output != NULL) {
        startup->dwFlags = STARTF_USESTDHANDLES;
        startup->hStdInput = NULL;
        startup->hStdOutput = output;
        startup->hStdError = GetStdHandle(STD_ERROR_HANDLE);
#if defined(PROC_THREAD_ATTRIBUTE_HANDLE_LIST)
        inherited[count++] = output;
        if (startup->hStdError != NULL && startup->hStdError != INVALID_HANDLE_VALUE &&
            GetHandleInformation(startup->hStdError, &handle_flags) && (handle_flags & HANDLE_FLAG_INHERIT) != 0) {
            inherited[count++] = startup->hStdError;
        }
        InitializeProcThreadAttributeList(NULL, 1, 0, &list_size);
        list = list_size > 0 ? (LPPROC_THREAD_ATTRIBUTE_LIST)HeapAlloc(GetProcessHeap(), 0, list_size) : NULL;
        if (list != NULL && !InitializeProcThreadAttributeList(list, 1, 0, &list_size)) {
            HeapFree(GetProcessHeap(), 0, list);
            list = NULL;
        }
        if (list != NULL && UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                                      count * sizeof(HANDLE), NULL, NULL)) {
            startup->cb = sizeof extended;
            extended.lpAttributeList = list;
            creation = EXTENDED_STARTUPINFO_PRESENT;
        }
#endif
    }
#if defined(PROC_THREAD_ATTRIBUTE_HANDLE_LIST)
    started = CreateProcessW(NULL, line, NULL, NULL, output != NULL, creation, NULL, NULL, startup, process);
    if (list != NULL) {
        DeleteProcThreadAttributeList(list);
        HeapFree(GetProcessHeap(), 0, list);
    }
#else
    started = CreateProcessW(NULL, line, NULL, NULL, output != NULL, 0, NULL, NULL, startup, process);
#endif
    HeapFree(GetProcessHeap(), 0, line);
    return started != 0;
}

/* Runs `uninstall.exe /check-update` and waits for it (at most PLINTH_UPDATE_CHECK_TIMEOUT_MS).
 * Returns PLINTH_UPDATE_AVAILABLE with the newer version in `version` (NUL-terminated, cut to
 * `size`), PLINTH_UPDATE_NONE, PLINTH_UPDATE_FAILED, or PLINTH_UPDATE_NOT_STARTED. `feed`, when
 * not NULL, is another channel's feed (`/feed=`, say L"https://example.com/app/beta/feed.json"):
 * the same rules and checks as the manifest's, which stays the one asked when it is NULL. */
PLINTH_UPDATE_API int plinth_check_update_from(const wchar_t* feed, char* version, size_t size) {
    SECURITY_ATTRIBUTES inherit;
    HANDLE read_end = NULL, write_end = NULL;
    PROCESS_INFORMATION process;
    DWORD exit_code = PLINTH_UPDATE_FAILED, available = 0, got = 0;
    char buffer[128];
    size_t i;
    if (version != NULL && size > 0) version[0] = 0;
    inherit.nLength = sizeof inherit;
    inherit.lpSecurityDescriptor = NULL;
    inherit.bInheritHandle = TRUE;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return PLINTH_UPDATE_NOT_STARTED;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    if (!plinth_update_start_(L"/check-update", feed, write_end, &process)) {
        CloseHandle(read_end);
        CloseHandle(write_end);
        return PLINTH_UPDATE_NOT_STARTED;
    }
    CloseHandle(write_end);
    CloseHandle(process.hThread);
    if (WaitForSingleObject(process.hProcess, PLINTH_UPDATE_CHECK_TIMEOUT_MS) != WAIT_OBJECT_0) {
        /* Given up on: the check is ended, not left running behind the app. */
        TerminateProcess(process.hProcess, PLINTH_UPDATE_FAILED);
        WaitForSingleObject(process.hProcess, 10000);
        exit_code = PLINTH_UPDATE_FAILED;
    } else if (!GetExitCodeProcess(process.hProcess, &exit_code)) {
        exit_code = PLINTH_UPDATE_FAILED;
    }
    CloseHandle(process.hProcess);
    /* The one line is in the pipe already; a peek never blocks on a writer that lingers. */
    if (exit_code == PLINTH_UPDATE_AVAILABLE && version != NULL && size > 0 &&
        PeekNamedPipe(read_end, NULL, 0, NULL, &available, NULL) && available > 0 &&
        ReadFile(read_end, buffer, available < sizeof buffer ? available : sizeof buffer, &got, NULL)) {
        for (i = 0; i < got && i + 1 < size && buffer[i] != '\r' && buffer[i] != '\n'; ++i) version[i] = buffer[i];
        version[i] = 0;
    }
    CloseHandle(read_end);
    return (int)exit_code;
}

/* Starts `uninstall.exe /update /S`, with `/restart` when `restart` is non-zero, without waiting
 * for it: the app should exit next, so that its files are free, and is started again when the
 * update is installed. Returns 1 when it started, 0 otherwise. `feed` as for
 * plinth_check_update_from. */
PLINTH_UPDATE_API int plinth_start_update_from(const wchar_t* feed, int restart) {
    PROCESS_INFORMATION process;
    if (!plinth_update_start_(restart ? L"/update /S /restart" : L"/update /S", feed, NULL, &process)) return 0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 1;
}

/* The same from the manifest's own feed. */
PLINTH_UPDATE_API int plinth_check_update(char* version, size_t size) { return plinth_check_update_from(NULL, version, size); }
PLINTH_UPDATE_API int plinth_start_update(int restart) { return plinth_start_update_from(NULL, restart); }

#endif
