#include "probe.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <cctype>

#include "platform/win32/system_library.h"

namespace probe {
namespace {

using plinth::platform::DialogButton;
using plinth::platform::DialogConfig;
using plinth::platform::HResult;
using plinth::platform::WindowHandle;

struct Event {
    std::uint32_t notification;
    std::uintptr_t wparam;
};

struct PageRecord {
    std::vector<Event> events;
    void* seen_data = nullptr;
};

struct Run {
    plinth::platform::win32::Win32Dialogs* dialogs = nullptr;
    std::uintptr_t icon = 0;
    PageRecord first, second;
};

HResult second_page(WindowHandle window, std::uint32_t notification, std::uintptr_t wparam,
                    std::intptr_t, void* data);

DialogConfig base_config(const Run& run) {
    DialogConfig config;
    config.size = 160;
    config.flags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_CALLBACK_TIMER |
                   (run.icon ? TDF_USE_HICON_MAIN : 0);
    config.main_icon = run.icon;
    config.instance = reinterpret_cast<std::uintptr_t>(GetModuleHandleW(nullptr));
    config.window_title = u"Probe Setup";
    return config;
}

// A stuck dialog ends itself rather than hanging the test.
bool give_up(HWND window, std::uint32_t notification, std::uintptr_t wparam) {
    if (notification != TDN_TIMER || wparam < 15000) return false;
    PostMessageW(window, TDM_CLICK_BUTTON, IDCANCEL, 0);
    return true;
}

HResult first_page(WindowHandle handle, std::uint32_t notification, std::uintptr_t wparam,
                   std::intptr_t, void* data) {
    auto* run = static_cast<Run*>(data);
    HWND window = reinterpret_cast<HWND>(handle);
    if (give_up(window, notification, wparam) || notification == TDN_TIMER) return S_OK;
    run->first.events.push_back({notification, wparam});
    run->first.seen_data = data;
    if (notification == TDN_CREATED) {
        PostMessageW(window, TDM_CLICK_VERIFICATION, TRUE, FALSE);
        PostMessageW(window, TDM_CLICK_BUTTON, 100, 0);
    }
    if (notification == TDN_BUTTON_CLICKED && wparam == 100) {
        // The next page's configuration and button array are gone when this returns: the
        // dialog layer must keep its own copy alive.
        DialogButton open[] = {{101, u"Open"}};
        DialogConfig next = base_config(*run);
        next.main_instruction = u"Page two";
        next.content = u"Navigated \u2713";
        next.common_buttons = TDCBF_CLOSE_BUTTON;
        next.button_count = 1;
        next.buttons = open;
        next.callback = second_page;
        next.callback_data = &run->second;
        run->dialogs->navigate(handle, next);
        return S_FALSE;
    }
    return S_OK;
}

HResult second_page(WindowHandle handle, std::uint32_t notification, std::uintptr_t wparam,
                    std::intptr_t, void* data) {
    auto* record = static_cast<PageRecord*>(data);
    HWND window = reinterpret_cast<HWND>(handle);
    if (give_up(window, notification, wparam) || notification == TDN_TIMER) return S_OK;
    record->events.push_back({notification, wparam});
    record->seen_data = data;
    if (notification == TDN_NAVIGATED) PostMessageW(window, TDM_CLICK_BUTTON, 101, 0);
    return S_OK;
}

bool saw(const PageRecord& record, std::uint32_t notification, std::uintptr_t wparam) {
    for (const Event& event : record.events)
        if (event.notification == notification && event.wparam == wparam) return true;
    return false;
}

bool saw(const PageRecord& record, std::uint32_t notification) {
    for (const Event& event : record.events)
        if (event.notification == notification) return true;
    return false;
}

// The layer loads comctl32 by name when a page or an icon first needs it: the manifest's
// activation context must still send it to the Common Controls 6 assembly. Its file shows which
// one came (Wine's comctl32 reports version 5.81 from either).
void probe_loaded_comctl32() {
    auto module = plinth::platform::win32::comctl32().module();
    check(module.ok(), "comctl32 is loaded", module.ok() ? "" : std::to_string(module.error()));
    if (!module.ok()) return;
    std::vector<wchar_t> buffer(32768);
    DWORD length = GetModuleFileNameW(*module, buffer.data(), static_cast<DWORD>(buffer.size()));
    const std::string path = text(plinth::platform::win32::from_wide(buffer.data(), length));
    std::string lower = path;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    check(lower.find("\\winsxs\\") != std::string::npos &&
              lower.find("_microsoft.windows.common-controls_6595b64144ccf1df_6.0.") != std::string::npos,
          "comctl32 comes from the Common Controls 6 assembly", path);
    DLLVERSIONINFO version{};
    version.cbSize = sizeof version;
    auto get_version = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(GetProcAddress(*module, "DllGetVersion")));
    if (get_version && SUCCEEDED(get_version(&version)))
        note("its DllGetVersion: " + std::to_string(version.dwMajorVersion) + "." +
             std::to_string(version.dwMinorVersion));
}

}  // namespace

void probe_dialogs(Context& context) {
    if (!context.options.dialogs) {
        note("skipped: no --dialogs (needs a display)");
        return;
    }
    Run run;
    run.dialogs = &context.windows.dialogs;
    if (auto icon = context.windows.module.load_app_icon(
            reinterpret_cast<std::uintptr_t>(GetModuleHandleW(nullptr)), 32))
        run.icon = *icon;

    DialogButton go[] = {{100, u"Go"}};
    DialogConfig first = base_config(run);
    first.main_instruction = u"Page one";
    first.common_buttons = TDCBF_CANCEL_BUTTON;
    first.button_count = 1;
    first.buttons = go;
    first.verification_text = u"Check me";
    first.callback = first_page;
    first.callback_data = &run;

    std::int32_t pressed = 0;
    HResult hr = context.windows.dialogs.show(first, &pressed);
    check(hr == S_OK, "TaskDialogIndirect succeeds", hex(static_cast<std::uint32_t>(hr)));
    check(pressed == 101, "the dialog ended with the second page's button",
          std::to_string(pressed));
    check(run.first.seen_data == &run && run.second.seen_data == &run.second,
          "each page's callback got its own data");
    check(saw(run.first, TDN_CREATED), "the first page was created");
    check(saw(run.first, TDN_VERIFICATION_CLICKED, 1), "the check box reached the callback");
    check(saw(run.first, TDN_BUTTON_CLICKED, 100), "the action button reached the callback");
    check(saw(run.second, TDN_NAVIGATED), "the second page was navigated to");
    check(saw(run.second, TDN_BUTTON_CLICKED, 101), "its button reached its own callback");
    check(!saw(run.first, TDN_NAVIGATED), "no notification of page two went to page one");
    if (run.icon) context.windows.module.destroy_icon(run.icon);
    probe_loaded_comctl32();
}

}  // namespace probe
