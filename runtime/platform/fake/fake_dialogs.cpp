#include "platform/fake/fake_dialogs.h"

#include "common/text.h"

namespace plinth::fake {
namespace {

std::optional<std::string> copy(const char16_t* text) {
    if (!text) return std::nullopt;
    return to_utf8(text);
}

constexpr std::uint32_t kCommonCancel = 0x08;
constexpr std::uint32_t kCommonClose = 0x20;
constexpr platform::HResult kSOk = 0;

}  // namespace

void FakeDialogs::show_page(const platform::DialogConfig& config) {
    current_ = config;
    checked_ = (config.flags & 0x0100) != 0;  // TDF_VERIFICATION_FLAG_CHECKED
    disabled_.clear();
    ShownPage page;
    page.config = config;
    page.window_title = copy(config.window_title);
    page.main_instruction = copy(config.main_instruction);
    page.content = copy(config.content);
    page.verification_text = copy(config.verification_text);
    page.expanded_information = copy(config.expanded_information);
    for (std::uint32_t i = 0; i < config.button_count; ++i) {
        page.buttons.emplace_back(config.buttons[i].id, copy(config.buttons[i].text).value_or(""));
    }
    pages.push_back(std::move(page));
}

platform::HResult FakeDialogs::deliver(std::uint32_t notification, std::uintptr_t wparam) {
    platform::HResult returned = kSOk;
    if (current_.callback) {
        returned = current_.callback(kWindow, notification, wparam, 0, current_.callback_data);
    }
    notifications.push_back({notification, wparam, returned});
    // A navigation requested inside the callback takes effect once the callback has returned.
    while (pending_navigation_) {
        const platform::DialogConfig next = *pending_navigation_;
        pending_navigation_.reset();
        show_page(next);
        deliver(kTdnDialogConstructed, 0);
        deliver(kTdnNavigated, 0);
    }
    return returned;
}

bool FakeDialogs::offers_button(std::int32_t id) const {
    for (std::int32_t disabled : disabled_) {
        if (disabled == id) return false;
    }
    for (std::uint32_t i = 0; i < current_.button_count; ++i) {
        if (current_.buttons[i].id == id) return true;
    }
    if (id == kIdCancel) return (current_.common_buttons & kCommonCancel) != 0;
    if (id == kIdClose) return (current_.common_buttons & kCommonClose) != 0;
    return false;
}

platform::HResult FakeDialogs::show(const platform::DialogConfig& config, std::int32_t* pressed_button) {
    if (auto code = faults_.check("dialogs.show")) return static_cast<platform::HResult>(*code);
    ++dialogs_shown;
    show_page(config);
    deliver(kTdnDialogConstructed, 0);
    deliver(kTdnCreated, 0);
    while (true) {
        UserAction action = UserAction::close();
        if (!script.empty()) {
            action = script.front();
            script.pop_front();
        }
        std::int32_t button = kIdCancel;
        if (action.kind == UserAction::Kind::wait) {
            if (current_.flags & 0x0800) deliver(kTdnTimer, 0);  // TDF_CALLBACK_TIMER
            continue;
        }
        if (action.kind == UserAction::Kind::set_check_box) {
            if (!current_.verification_text) {
                refused_actions.push_back("check box on a page without one");
                continue;
            }
            if (action.checked != checked_) {
                checked_ = action.checked;
                deliver(kTdnVerificationClicked, checked_ ? 1 : 0);
            }
            continue;
        }
        if (action.kind == UserAction::Kind::click) {
            if (!offers_button(action.button)) {
                refused_actions.push_back("button " + std::to_string(action.button) + " not on the page");
                continue;
            }
            button = action.button;
        }
        // Closing the window counts as cancel only where cancellation is allowed.
        const bool allows_cancel = (current_.flags & 0x0008) != 0;
        if (action.kind == UserAction::Kind::close && !allows_cancel && !offers_button(kIdCancel)) {
            refused_actions.push_back("close on a page that can't be cancelled");
            if (script.empty()) return kSOk;
            continue;
        }
        if (deliver(kTdnButtonClicked, static_cast<std::uintptr_t>(button)) == kSOk) {
            deliver(kTdnDestroyed, 0);
            if (pressed_button) *pressed_button = button;
            return kSOk;
        }
    }
}

void FakeDialogs::navigate(platform::WindowHandle window, const platform::DialogConfig& config) {
    if (window != kWindow) {
        refused_actions.push_back("navigation sent to an unknown window");
        return;
    }
    pending_navigation_ = config;
}

void FakeDialogs::send(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                       std::intptr_t lparam) {
    if (window != kWindow) refused_actions.push_back("message sent to an unknown window");
    sent.push_back({message, wparam, lparam});
    if (message == 0x0400 + 111 && lparam == 0) disabled_.push_back(static_cast<std::int32_t>(wparam));  // TDM_ENABLE_BUTTON
}

bool FakeDialogs::accept_text(const platform::AcceptWindow& window) {
    accept_windows.push_back(window);
    if (accept_answers.empty()) return false;
    const bool accepted = accept_answers.front();
    accept_answers.pop_front();
    return accepted;
}

std::optional<Path> FakeDialogs::pick_folder(platform::WindowHandle owner, const Path& start) {
    if (owner != kWindow) refused_actions.push_back("folder picker owned by an unknown window");
    picker_starts.push_back(start);
    if (picked_folders.empty()) return std::nullopt;
    std::optional<Path> picked = std::move(picked_folders.front());
    picked_folders.pop_front();
    return picked;
}

}  // namespace plinth::fake
