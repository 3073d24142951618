// A scripted task dialog: it plays the user's actions against the pages it is shown, delivering
// notifications to the callback the way the real dialog does (construction, creation, button
// clicks, check box clicks, navigation), and records every page it showed.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/fake/fault_plan.h"
#include "platform/platform.h"

namespace plinth::fake {

inline constexpr std::uint32_t kTdnCreated = 0;
inline constexpr std::uint32_t kTdnNavigated = 1;
inline constexpr std::uint32_t kTdnButtonClicked = 2;
inline constexpr std::uint32_t kTdnTimer = 4;
inline constexpr std::uint32_t kTdnDestroyed = 5;
inline constexpr std::uint32_t kTdnDialogConstructed = 7;
inline constexpr std::uint32_t kTdnVerificationClicked = 8;
inline constexpr std::int32_t kIdCancel = 2;
inline constexpr std::int32_t kIdClose = 8;

// A page as the dialog showed it: the configuration's texts copied out.
struct ShownPage {
    platform::DialogConfig config;  // pointers valid only while the page's owner lives
    std::optional<std::string> window_title;
    std::optional<std::string> main_instruction;
    std::optional<std::string> content;
    std::optional<std::string> verification_text;
    std::optional<std::string> expanded_information;
    std::vector<std::pair<std::int32_t, std::string>> buttons;
};

struct UserAction {
    enum class Kind { click, set_check_box, close, wait };
    Kind kind = Kind::close;
    std::int32_t button = 0;
    bool checked = false;

    static UserAction click(std::int32_t id) { return {Kind::click, id, false}; }
    static UserAction set_check_box(bool checked) { return {Kind::set_check_box, 0, checked}; }
    // The title bar's close control, Esc or Alt+F4: the dialog reports IDCANCEL.
    static UserAction close() { return {Kind::close, 0, false}; }
    // The user waits: a page that asked for the timer gets one tick.
    static UserAction wait() { return {Kind::wait, 0, false}; }
};

class FakeDialogs : public platform::Dialogs {
public:
    explicit FakeDialogs(FaultPlan& faults) : faults_(faults) {}

    platform::HResult show(const platform::DialogConfig& config, std::int32_t* pressed_button) override;
    void navigate(platform::WindowHandle window, const platform::DialogConfig& config) override;
    void send(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override;
    bool accept_text(const platform::AcceptWindow& window) override;
    std::optional<Path> pick_folder(platform::WindowHandle owner, const Path& start) override;

    // The accept windows shown, and the answers the user gives them in turn (none left: Cancel).
    std::vector<platform::AcceptWindow> accept_windows;
    std::deque<bool> accept_answers;
    // The folders the user picks in turn (nothing: the picker cancelled; none left: likewise),
    // and where each picker opened.
    std::deque<std::optional<Path>> picked_folders;
    std::vector<Path> picker_starts;

    // The user's actions, played in order; when they run out the user closes the dialog.
    std::deque<UserAction> script;
    std::vector<ShownPage> pages;  // every page shown, the first one included
    struct Delivered {
        std::uint32_t notification;
        std::uintptr_t wparam;
        platform::HResult returned;
    };
    std::vector<Delivered> notifications;
    std::vector<std::string> refused_actions;  // actions the page didn't offer
    struct Sent {
        std::uint32_t message;
        std::uintptr_t wparam;
        std::intptr_t lparam;
        bool operator==(const Sent&) const = default;
    };
    std::vector<Sent> sent;  // messages sent to the dialog, navigation aside
    int dialogs_shown = 0;

    static constexpr platform::WindowHandle kWindow = 0x5150;

private:
    platform::HResult deliver(std::uint32_t notification, std::uintptr_t wparam);
    void show_page(const platform::DialogConfig& config);
    bool offers_button(std::int32_t id) const;

    FaultPlan& faults_;
    platform::DialogConfig current_{};
    std::optional<platform::DialogConfig> pending_navigation_;
    bool checked_ = false;
    std::vector<std::int32_t> disabled_;  // buttons of the current page greyed out by TDM_ENABLE_BUTTON
};

}  // namespace plinth::fake
