/* dialog_probe: lists the task dialogs on the screen and their controls, so that the end-to-end
 * tests can read a page's texts and find where to click. Run under Wine in the test's prefix.
 *
 * One line per top-level dialog window and one per control inside it, tab-separated, UTF-8:
 *   window  <class>  <left> <top> <right> <bottom>  <visible>  <checked>  <text>  <rtl>
 *   control <class>  <left> <top> <right> <bottom>  <visible>  <checked>  <text>  <rtl>
 * Rectangles are screen coordinates. checked is 1 or 0 for check boxes, - otherwise.
 * rtl is 1 for a window laid out right to left (WS_EX_LAYOUTRTL), else 0. Line breaks,
 * tabs and backslashes in texts are written as \n, \r, \t and \\. Exit code 0 when at least one
 * dialog was found, 1 when none. */
#define WIN32_LEAN_AND_MEAN
#define UNICODE
#define _UNICODE
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void print_utf8_escaped(const wchar_t *text)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    if (length <= 0)
        return;
    char *utf8 = malloc((size_t)length);
    if (!utf8)
        return;
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, length, NULL, NULL);
    for (const char *p = utf8; *p; ++p) {
        switch (*p) {
        case '\n': fputs("\\n", stdout); break;
        case '\r': fputs("\\r", stdout); break;
        case '\t': fputs("\\t", stdout); break;
        case '\\': fputs("\\\\", stdout); break;
        default: fputc(*p, stdout);
        }
    }
    free(utf8);
}

static void print_window(const char *kind, HWND window)
{
    wchar_t class_name[256] = L"";
    GetClassNameW(window, class_name, 256);
    /* An edit control keeps its text to itself: only WM_GETTEXT reads it from another process. */
    int is_edit = lstrcmpiW(class_name, L"Edit") == 0;
    DWORD_PTR units = 0;
    if (is_edit)
        SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &units);
    else
        units = (DWORD_PTR)GetWindowTextLengthW(window);
    wchar_t *text = calloc((size_t)units + 2, sizeof(wchar_t));
    if (!text)
        return;
    DWORD_PTR ignored = 0;
    if (is_edit)
        SendMessageTimeoutW(window, WM_GETTEXT, units + 1, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, &ignored);
    else
        GetWindowTextW(window, text, (int)units + 1);
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(window, &rect);
    const char *checked = "-";
    LONG style = GetWindowLongW(window, GWL_STYLE);
    if (lstrcmpiW(class_name, L"Button") == 0) {
        LONG type = style & BS_TYPEMASK;
        if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE)
            checked = SendMessageW(window, BM_GETCHECK, 0, 0) == BST_CHECKED ? "1" : "0";
    }
    printf("%s\t", kind);
    print_utf8_escaped(class_name);
    printf("\t%ld\t%ld\t%ld\t%ld\t%d\t%s\t", rect.left, rect.top, rect.right, rect.bottom,
           IsWindowVisible(window) ? 1 : 0, checked);
    print_utf8_escaped(text);
    printf("\t%d\n", (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) ? 1 : 0);
    free(text);
}

static BOOL CALLBACK on_child(HWND window, LPARAM unused)
{
    (void)unused;
    print_window("control", window);
    return TRUE;
}

static int dialogs_found;

static BOOL CALLBACK on_top_level(HWND window, LPARAM unused)
{
    (void)unused;
    wchar_t class_name[64] = L"";
    GetClassNameW(window, class_name, 64);
    if (wcscmp(class_name, L"#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    ++dialogs_found;
    print_window("window", window);
    EnumChildWindows(window, on_child, 0);
    return TRUE;
}

int main(void)
{
    EnumWindows(on_top_level, 0);
    fflush(stdout);
    return dialogs_found > 0 ? 0 : 1;
}
