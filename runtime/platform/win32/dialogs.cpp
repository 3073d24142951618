#include "platform/win32/dialogs.h"

#include <windows.h>
#include <commctrl.h>

#include "platform/win32/system_library.h"
#include "platform/win32/wide.h"

namespace plinth::platform::win32 {

static_assert(sizeof(TASKDIALOGCONFIG) == 160, "the packed 64-bit TASKDIALOGCONFIG");
static_assert(sizeof(WindowHandle) == sizeof(HWND));
static_assert(sizeof(std::int32_t) == sizeof(int));

// The seam's callback and its data, reached from the trampoline through lpCallbackData.
struct CallbackForward {
    DialogCallback callback = nullptr;
    void* data = nullptr;
};

struct Win32Dialogs::Converted {
    TASKDIALOGCONFIG config{};
    std::unique_ptr<TASKDIALOG_BUTTON[]> buttons;
    std::unique_ptr<TASKDIALOG_BUTTON[]> radio_buttons;
    CallbackForward forward;
    std::unique_ptr<Converted> earlier;
};

namespace {

HRESULT CALLBACK trampoline(HWND window, UINT notification, WPARAM wparam, LPARAM lparam,
                            LONG_PTR reference) noexcept {
    const auto* forward = reinterpret_cast<const CallbackForward*>(reference);
    if (!forward || !forward->callback) return S_OK;
    // The dialog's window procedure is C code that nothing may unwind through: this layer and
    // the logic are built without exceptions, and running out of memory ends the process.
    return forward->callback(reinterpret_cast<WindowHandle>(window), notification,
                             static_cast<std::uintptr_t>(wparam), static_cast<std::intptr_t>(lparam),
                             forward->data);
}

// None for no buttons, as the dialog wants a null array then.
std::unique_ptr<TASKDIALOG_BUTTON[]> convert_buttons(const DialogButton* buttons, std::uint32_t count) {
    if (!buttons || count == 0) return nullptr;
    auto result = std::make_unique_for_overwrite<TASKDIALOG_BUTTON[]>(count);
    for (std::uint32_t i = 0; i < count; ++i)
        result[i] = TASKDIALOG_BUTTON{buttons[i].id, wide_or_null(buttons[i].text)};
    return result;
}

}  // namespace

Win32Dialogs::Win32Dialogs() = default;
Win32Dialogs::~Win32Dialogs() { release_converted(); }

// One at a time, each after the one that owned it: no recursion however many pages there were.
void Win32Dialogs::release_converted() {
    while (converted_) converted_ = std::move(converted_->earlier);
}

Win32Dialogs::Converted& Win32Dialogs::convert(const DialogConfig& from) {
    auto converted = std::make_unique<Converted>();
    converted->buttons = convert_buttons(from.buttons, from.button_count);
    converted->radio_buttons = convert_buttons(from.radio_buttons, from.radio_button_count);
    converted->forward = {from.callback, from.callback_data};

    TASKDIALOGCONFIG& to = converted->config;
    to.cbSize = from.size;
    to.hwndParent = reinterpret_cast<HWND>(from.parent);
    to.hInstance = reinterpret_cast<HINSTANCE>(from.instance);
    to.dwFlags = from.flags;
    to.dwCommonButtons = from.common_buttons;
    to.pszWindowTitle = wide_or_null(from.window_title);
    to.pszMainIcon = reinterpret_cast<PCWSTR>(from.main_icon);  // or hMainIcon, as flags say
    to.pszMainInstruction = wide_or_null(from.main_instruction);
    to.pszContent = wide_or_null(from.content);
    to.cButtons = from.buttons ? from.button_count : 0;
    to.pButtons = converted->buttons.get();
    to.nDefaultButton = from.default_button;
    to.cRadioButtons = from.radio_buttons ? from.radio_button_count : 0;
    to.pRadioButtons = converted->radio_buttons.get();
    to.nDefaultRadioButton = from.default_radio_button;
    to.pszVerificationText = wide_or_null(from.verification_text);
    to.pszExpandedInformation = wide_or_null(from.expanded_information);
    to.pszExpandedControlText = wide_or_null(from.expanded_control_text);
    to.pszCollapsedControlText = wide_or_null(from.collapsed_control_text);
    to.pszFooterIcon = reinterpret_cast<PCWSTR>(from.footer_icon);
    to.pszFooter = wide_or_null(from.footer);
    if (from.callback) {
        to.pfCallback = trampoline;
        to.lpCallbackData = reinterpret_cast<LONG_PTR>(&converted->forward);
    } else {
        to.pfCallback = nullptr;
        to.lpCallbackData = reinterpret_cast<LONG_PTR>(from.callback_data);
    }
    to.cxWidth = from.width;

    converted->earlier = std::move(converted_);
    converted_ = std::move(converted);
    return *converted_;
}

HResult Win32Dialogs::show(const DialogConfig& config, std::int32_t* pressed_button) {
    enter_com_apartment();
    // comctl32 6 (the manifest's activation context selects it) is the first to have it.
    auto task_dialog = comctl32().function<decltype(TaskDialogIndirect)>("TaskDialogIndirect");
    if (!task_dialog) return library_hresult(task_dialog.error());
    Converted& converted = convert(config);
    ++depth_;
    HRESULT hr = (*task_dialog)(&converted.config, pressed_button, nullptr, nullptr);
    if (--depth_ == 0) release_converted();
    return static_cast<HResult>(hr);
}

void Win32Dialogs::navigate(WindowHandle window, const DialogConfig& config) {
    // A dialog is showing, so user32 is loaded: the lookup can't fail in practice, and a page
    // that can't be shown leaves the one showing in place.
    send(window, TDM_NAVIGATE_PAGE, 0, reinterpret_cast<LPARAM>(&convert(config).config));
}

void Win32Dialogs::send(WindowHandle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    auto send = user32().function<decltype(SendMessageW)>("SendMessageW");
    if (send) (*send)(reinterpret_cast<HWND>(window), message, wparam, lparam);
}

}  // namespace plinth::platform::win32
