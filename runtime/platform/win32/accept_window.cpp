// The window for a long text to accept (the app's licence): a dialog of its own made from a
// template in memory. A task dialog grows with its text and has no scroll bar, so a long licence
// would run off the screen; a read-only multi-line edit keeps the window's size, scrolls, and
// lets the text be selected and copied, under Wine as on Windows.
#include <windows.h>

#include "platform/win32/dialogs.h"
#include "platform/win32/system_library.h"
#include "platform/win32/wide.h"

namespace plinth::platform::win32 {
namespace {

constexpr char16_t kTextId = 10;
constexpr char16_t kButtonClass = 0x0080;
constexpr char16_t kEditClass = 0x0081;
constexpr char16_t kStaticClass = 0x0082;

// A DLGTEMPLATE and its items, as the words the dialog manager reads (kept in a string of
// 16-bit units, a type the program has already).
struct Template {
    std::u16string words;

    void dword(DWORD value) {
        words += static_cast<char16_t>(LOWORD(value));
        words += static_cast<char16_t>(HIWORD(value));
    }
    // The text and its terminating NUL.
    void text(const std::u16string& value) { words.append(value.c_str(), value.size() + 1); }
    // Each item starts on a DWORD boundary; its class is an atom, it has no creation data.
    void item(DWORD style, char16_t x, char16_t y, char16_t cx, char16_t cy, char16_t id, char16_t atom,
              const std::u16string& title) {
        if (words.size() % 2) words += u'\0';
        dword(style | WS_CHILD | WS_VISIBLE);
        dword(0);
        const char16_t place[] = {x, y, cx, cy, id, 0xFFFF, atom};
        words.append(place, 7);
        text(title);
        words += u'\0';
    }
};

INT_PTR CALLBACK accept_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
    if (message == WM_INITDIALOG) {
        // Set here rather than in the template, whose texts are limited in length; focused
        // without the dialog manager, which would select the whole text.
        const auto item = user32().function<decltype(GetDlgItem)>("GetDlgItem");
        const auto set_text = user32().function<decltype(SetWindowTextW)>("SetWindowTextW");
        const auto focus = user32().function<decltype(SetFocus)>("SetFocus");
        if (item && set_text && focus) {
            HWND edit = (*item)(dialog, kTextId);
            (*set_text)(edit, reinterpret_cast<LPCWSTR>(lparam));
            (*focus)(edit);
        }
        return FALSE;
    }
    if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
        if (auto end = user32().function<decltype(EndDialog)>("EndDialog")) (*end)(dialog, LOWORD(wparam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

bool Win32Dialogs::accept_text(const AcceptWindow& window) {
    const auto show = user32().function<decltype(DialogBoxIndirectParamW)>("DialogBoxIndirectParamW");
    if (!show) return false;
    // The edit control breaks lines at CR LF only.
    std::u16string text;
    text.reserve(window.text.size() + window.text.size() / 16);
    for (char16_t c : window.text) {
        if (c == u'\n') text.push_back(u'\r');
        text.push_back(c);
    }
    // In dialog units: a page wide enough for a licence's lines, the buttons at the bottom right.
    Template made;
    made.dword(DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    made.dword(window.right_to_left ? WS_EX_LAYOUTRTL : 0);
    made.words.append(u"\4\0\0\u012C\u00D2\0\0", 7);  // 4 items, x, y, 300 x 210, no menu, no class
    made.text(window.title);
    made.words += u'\11';  // 9 points
    made.text(u"Segoe UI");
    made.item(SS_LEFT | SS_NOPREFIX, 7, 7, 286, 18, 11, kStaticClass, window.heading);
    made.item(ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 7, 28, 286, 152, kTextId,
              kEditClass, {});
    made.item(BS_DEFPUSHBUTTON | WS_TABSTOP, 153, 189, 68, 14, IDOK, kButtonClass, window.accept);
    made.item(BS_PUSHBUTTON | WS_TABSTOP, 225, 189, 68, 14, IDCANCEL, kButtonClass, window.cancel);
    const INT_PTR pressed = (*show)(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(made.words.c_str()),
                                    nullptr, accept_procedure, reinterpret_cast<LPARAM>(text.c_str()));
    return pressed == IDOK;
}

}  // namespace plinth::platform::win32
