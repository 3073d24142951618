#include "entry/update_dialog.h"

#include <atomic>
#include <memory>
#include <utility>
#include <vector>

#include "dialog/dialog_config.h"
#include "dialog/dialog_flow.h"
#include "dialog/pages.h"
#include "entry/exit_code.h"
#include "entry/update_run.h"
#include "log/run_log.h"

namespace plinth {
namespace {

constexpr std::uint32_t kNotificationCreated = 0;               // TDN_CREATED
constexpr std::uint32_t kNotificationNavigated = 1;             // TDN_NAVIGATED
constexpr std::uint32_t kNotificationTimer = 4;                 // TDN_TIMER
constexpr std::uint32_t kSetProgressBarPos = 0x0400 + 106;      // TDM_SET_PROGRESS_BAR_POS
constexpr std::uint32_t kSetProgressBarMarquee = 0x0400 + 107;  // TDM_SET_PROGRESS_BAR_MARQUEE
constexpr std::uint32_t kEnableButton = 0x0400 + 111;           // TDM_ENABLE_BUTTON
constexpr std::uintptr_t kIdCancel = 2;

// Where the update is. The dialog's thread moves it from checking to offered once the worker has
// read the feed, from offered to downloading, and to cancelled; the worker from downloading to
// installing. Once installing, it can't be cancelled.
enum class Stage : std::uint8_t { checking, offered, downloading, installing, cancelled };

// The download and the installation run on a worker thread, so that the dialog keeps answering;
// the dialog's timer shows their progress and, once the worker has ended, the result.
class UpdateDialog final : public UpdateWatcher {
public:
    UpdateDialog(platform::Platform& platform, const RunOptions& options, const AppManifest& manifest,
                 const TextLookup& texts)
        : platform_(platform), options_(options), manifest_(manifest), texts_(texts) {}

    int run();

private:
    bool received(std::uint64_t bytes, std::uint64_t of) override {
        percent_ = static_cast<std::uint32_t>(bytes * 100 / of);
        return stage_ != Stage::cancelled;
    }

    bool installing() override {
        Stage expected = Stage::downloading;
        return stage_.compare_exchange_strong(expected, Stage::installing);
    }

    // Reads the feed while the dialog shows that it does.
    static void check(void* self) {
        auto& dialog = *static_cast<UpdateDialog*>(self);
        dialog.result_ = find_update(dialog.platform_, dialog.manifest_, dialog.app_, dialog.offer_);
    }

    static void work(void* self) {
        auto& dialog = *static_cast<UpdateDialog*>(self);
        // Chosen again under the lock. Meanwhile the dialog's thread reads the offer only once
        // the stage says it is installing, or once this has ended.
        dialog.offer_.url.clear();
        dialog.result_ =
            apply_update(dialog.platform_, dialog.options_, dialog.manifest_, dialog.app_, dialog.offer_, &dialog,
                         dialog.reported_);
    }

    static platform::HResult notified(platform::WindowHandle window, std::uint32_t notification, std::uintptr_t wparam,
                                      std::intptr_t, void* self) {
        return static_cast<UpdateDialog*>(self)->on_notification(window, notification, wparam);
    }

    platform::HResult on_notification(platform::WindowHandle window, std::uint32_t notification, std::uintptr_t wparam);
    DialogPage offer_page();
    void checked(platform::WindowHandle window);
    void start(platform::WindowHandle window);
    void on_timer(platform::WindowHandle window);
    void finish(platform::WindowHandle window);
    platform::DialogConfig keep(DialogPage page);
    // While it downloads (a bar) or installs (a marquee, Cancel greyed out); both ask for the timer.
    // Out of line: both callers are inlined into the notification handler.
    [[gnu::noinline]] DialogPage progress_page(Message heading, const std::string& version) {
        DialogPage page = update_page(manifest_, heading, version, {}, texts_);
        page.flags = kCallbackTimer | (heading == Message::update_installing ? kShowMarqueeProgressBar : kShowProgressBar);
        page.common_buttons = kCommonButtonCancel;
        return page;
    }
    void navigate(platform::WindowHandle window, DialogPage page) { platform_.dialogs.navigate(window, keep(std::move(page))); }
    void send(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
        platform_.dialogs.send(window, message, wparam, lparam);
    }

    platform::Platform& platform_;
    const RunOptions& options_;
    const AppManifest& manifest_;
    const TextLookup& texts_;
    // Kept while the dialog lives: it reads their texts until it closes.
    std::vector<DialogPage> pages_;
    // What is installed and what the feed offers: checked before the dialog shows, then again
    // by the worker.
    InstalledApp app_;
    UpdateOffer offer_;
    std::unique_ptr<platform::Worker> worker_;
    std::atomic<Stage> stage_ = Stage::checking;
    std::atomic<std::uint32_t> percent_ = 0;
    Status result_;  // the worker's, read once it has ended
    bool reported_ = false;  // likewise
    // The dialog thread's own.
    bool installing_shown_ = false;
    bool ended_ = false;
    int exit_code_ = exit_code_value(ExitCode::cancelled);
};

platform::DialogConfig UpdateDialog::keep(DialogPage page) {
    platform::DialogConfig config = keep_page(platform_, pages_, std::move(page), this);
    config.callback = &UpdateDialog::notified;
    return config;
}

// What the feed offers, or why nothing can be offered; `result_` is the check's.
DialogPage UpdateDialog::offer_page() {
    const Status& checked = result_;
    Message heading = Message::update_available;
    if (!checked) {
        exit_code_ = update_failed(platform_, checked.error());
    } else if (offer_.url.empty()) {
        exit_code_ = exit_code_value(ExitCode::completed);
        heading = Message::up_to_date;
    }
    DialogPage page = update_page(manifest_, checked ? heading : Message::update_failed, offer_.release.version,
                                  checked ? texts_.text(Message::update_current_version, {app_.version})
                                          : failure_content(checked.error(), texts_),
                                  texts_);
    page.error_icon = !checked;
    if (heading == Message::update_available && checked) {
        page.expanded = notes_shown(offer_.release.notes);
        page.flags = kExpandedByDefault;
        add_button(page, kActionButton, texts_.text(Message::update_button));
        add_button(page, kNotNowButton, texts_.text(Message::not_now_button));
        page.common_buttons = 0;
    }
    return page;
}

int UpdateDialog::run() {
    // The feed is read on the worker while the first page says so; without a second thread,
    // before the dialog shows.
    worker_ = platform_.session.start_worker(&UpdateDialog::check, this);
    DialogPage page;
    if (worker_) {
        page = update_page(manifest_, Message::update_checking, {}, {}, texts_);
        page.flags = kCallbackTimer | kShowMarqueeProgressBar;
        page.common_buttons = kCommonButtonCancel;
    } else {
        check(this);
        stage_ = Stage::offered;
        page = offer_page();
    }
    // A dialog that can't be shown counts as one closed before anything ran.
    std::int32_t pressed = 0;
    (void)platform_.dialogs.show(keep(std::move(page)), &pressed);
    // Cancelled, the download stops at its next chunk; nothing is installed.
    worker_.reset();
    // Still on the offer when the dialog closed: the user chose not to update now.
    const bool offered = result_ && !offer_.url.empty();
    if (offered && stage_ == Stage::offered) {
        platform_.log->write("Chosen in the dialog:", pressed == kNotNowButton ? "Not now" : "closed the offer");
    }
    if (stage_ == Stage::cancelled) platform_.log->write("Cancelled");
    // The result page's "Open {name}": the user, not the app, started this run, so nothing
    // waits for the program that did.
    if (pressed == kOpenButton && ended_) {
        platform_.log->write("Chosen in the dialog:", "Open");
        if (Status opened = restart_app(platform_, app_, false); !opened) report_failure(platform_, opened.error(), false);
    }
    return exit_code_;
}

platform::HResult UpdateDialog::on_notification(platform::WindowHandle window, std::uint32_t notification,
                                                std::uintptr_t wparam) {
    switch (notification) {
        case kNotificationButtonClicked: {
            if (wparam == static_cast<std::uintptr_t>(kActionButton) && stage_ == Stage::offered) {
                platform_.log->write("Chosen in the dialog:", "Update");
                start(window);
                return kSFalse;
            }
            if (stage_ == Stage::checking) {
                // The check ends on its own, within the network's timeout; nothing was changed.
                stage_ = Stage::cancelled;
                return kSOk;
            }
            if (ended_ || stage_ == Stage::offered) return kSOk;
            // Cancel or Close while it downloads; once it installs, the dialog stays.
            Stage expected = Stage::downloading;
            return stage_.compare_exchange_strong(expected, Stage::cancelled) ? kSOk : kSFalse;
        }
        case kNotificationTimer:
            if (stage_ == Stage::checking) {
                if (worker_ && worker_->finished()) checked(window);
            } else if (worker_ && !ended_) {
                on_timer(window);
            }
            return kSOk;
        case kNotificationCreated:
        case kNotificationNavigated:
            if (stage_ == Stage::checking) {
                send(window, kSetProgressBarMarquee, 1, 0);
            } else if (installing_shown_ && !ended_) {
                send(window, kSetProgressBarMarquee, 1, 0);
                send(window, kEnableButton, kIdCancel, 0);
            }
            return kSOk;
        default:
            return kSOk;
    }
}

void UpdateDialog::checked(platform::WindowHandle window) {
    worker_.reset();
    stage_ = Stage::offered;
    navigate(window, offer_page());
}

void UpdateDialog::start(platform::WindowHandle window) {
    stage_ = Stage::downloading;
    navigate(window, progress_page(Message::update_downloading, offer_.release.version));
    worker_ = platform_.session.start_worker(&UpdateDialog::work, this);
    if (worker_) return;
    // No second thread: the update runs here, and the dialog waits for it.
    work(this);
    finish(window);
}

void UpdateDialog::on_timer(platform::WindowHandle window) {
    const bool ended = worker_->finished();
    if (!ended && stage_ == Stage::installing) {
        if (!installing_shown_) {
            installing_shown_ = true;
            navigate(window, progress_page(Message::update_installing, offer_.release.version));
        }
        return;
    }
    send(window, kSetProgressBarPos, percent_, 0);
    if (ended) finish(window);
}

void UpdateDialog::finish(platform::WindowHandle window) {
    ended_ = true;
    exit_code_ = result_ ? exit_code_value(ExitCode::completed) : update_failed(platform_, result_.error(), reported_);
    Message heading = Message::update_failed;
    if (result_) heading = offer_.url.empty() ? Message::up_to_date : Message::update_installed;
    DialogPage page = update_page(manifest_, heading, offer_.release.version,
                                  result_ ? std::string() : failure_content(result_.error(), texts_), texts_);
    page.error_icon = !result_;
    if (heading == Message::update_installed) add_button(page, kOpenButton, texts_.text(Message::open_button, {visible_controls(manifest_.name)}));
    navigate(window, std::move(page));
}

}  // namespace

int update_with_dialog(platform::Platform& platform, const RunOptions& options, const AppManifest& manifest,
                       const TextLookup& texts) {
    return UpdateDialog(platform, options, manifest, texts).run();
}

}  // namespace plinth
