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

constexpr std::uint32_t kNotificationNavigated = 1;             // TDN_NAVIGATED
constexpr std::uint32_t kNotificationTimer = 4;                 // TDN_TIMER
constexpr std::uint32_t kSetProgressBarPos = 0x0400 + 106;      // TDM_SET_PROGRESS_BAR_POS
constexpr std::uint32_t kSetProgressBarMarquee = 0x0400 + 107;  // TDM_SET_PROGRESS_BAR_MARQUEE
constexpr std::uint32_t kEnableButton = 0x0400 + 111;           // TDM_ENABLE_BUTTON
constexpr std::uintptr_t kIdCancel = 2;

// Where the update is. The dialog's thread moves it from offered to downloading, and to cancelled;
// the worker from downloading to installing. Once installing, it can't be cancelled.
enum class Stage : std::uint8_t { offered, downloading, installing, cancelled };

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

    static void work(void* self) {
        auto& dialog = *static_cast<UpdateDialog*>(self);
        dialog.result_ =
            apply_update(dialog.platform_, dialog.options_, dialog.manifest_, dialog.app_, dialog.applied_, &dialog);
    }

    static platform::HResult notified(platform::WindowHandle window, std::uint32_t notification, std::uintptr_t wparam,
                                      std::intptr_t, void* self) {
        return static_cast<UpdateDialog*>(self)->on_notification(window, notification, wparam);
    }

    platform::HResult on_notification(platform::WindowHandle window, std::uint32_t notification, std::uintptr_t wparam);
    void start(platform::WindowHandle window);
    void on_timer(platform::WindowHandle window);
    void finish(platform::WindowHandle window);
    platform::DialogConfig keep(DialogPage page);
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
    UpdateOffer offer_;  // what the page offers
    std::unique_ptr<platform::Worker> worker_;
    std::atomic<Stage> stage_ = Stage::offered;
    std::atomic<std::uint32_t> percent_ = 0;
    // The worker's, read once it has ended.
    InstalledApp app_;
    UpdateOffer applied_;
    Status result_;
    // The dialog thread's own.
    bool installing_shown_ = false;
    bool ended_ = false;
    int exit_code_ = exit_code_value(ExitCode::cancelled);
};

platform::DialogConfig UpdateDialog::keep(DialogPage page) {
    pages_.push_back(std::move(page));
    platform::DialogConfig config = to_dialog_config(platform_, pages_.back(), this);
    config.callback = &UpdateDialog::notified;
    return config;
}

int UpdateDialog::run() {
    InstalledApp app;
    Status checked = find_installed_app(platform_, manifest_, app);
    if (checked) checked = check_for_update(platform_, app, offer_);
    DialogPage page;
    if (!checked) {
        exit_code_ = update_failed(platform_, checked.error());
        page = update_failure_page(manifest_, checked.error().text, texts_);
    } else if (offer_.url.empty()) {
        platform_.log->write("No newer version");
        exit_code_ = exit_code_value(ExitCode::completed);
        page = up_to_date_page(manifest_, app.version, texts_);
    } else {
        platform_.log->write("Newer version available:", offer_.release.version);
        page = update_offer_page(manifest_, app.version, offer_.release.version, offer_.release.notes, texts_);
    }
    // A dialog that can't be shown counts as one closed before anything ran.
    (void)platform_.dialogs.show(keep(std::move(page)), nullptr);
    // Cancelled, the download stops at its next chunk; nothing is installed.
    worker_.reset();
    if (stage_ == Stage::cancelled) platform_.log->write("Cancelled");
    return exit_code_;
}

platform::HResult UpdateDialog::on_notification(platform::WindowHandle window, std::uint32_t notification,
                                                std::uintptr_t wparam) {
    switch (notification) {
        case kNotificationButtonClicked: {
            if (wparam == static_cast<std::uintptr_t>(kActionButton) && stage_ == Stage::offered) {
                start(window);
                return kSFalse;
            }
            if (ended_ || stage_ == Stage::offered) return kSOk;
            // Cancel or Close while it downloads; once it installs, the dialog stays.
            Stage expected = Stage::downloading;
            return stage_.compare_exchange_strong(expected, Stage::cancelled) ? kSOk : kSFalse;
        }
        case kNotificationTimer:
            if (worker_ && !ended_) on_timer(window);
            return kSOk;
        case kNotificationNavigated:
            if (installing_shown_ && !ended_) {
                send(window, kSetProgressBarMarquee, 1, 0);
                send(window, kEnableButton, kIdCancel, 0);
            }
            return kSOk;
        default:
            return kSOk;
    }
}

void UpdateDialog::start(platform::WindowHandle window) {
    stage_ = Stage::downloading;
    navigate(window, update_progress_page(manifest_, offer_.release.version, false, texts_));
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
            navigate(window, update_progress_page(manifest_, applied_.release.version, true, texts_));
        }
        return;
    }
    send(window, kSetProgressBarPos, percent_, 0);
    if (ended) finish(window);
}

void UpdateDialog::finish(platform::WindowHandle window) {
    ended_ = true;
    DialogPage page;
    if (!result_) {
        exit_code_ = update_failed(platform_, result_.error());
        page = update_failure_page(manifest_, result_.error().text, texts_);
    } else {
        exit_code_ = exit_code_value(ExitCode::completed);
        page = applied_.url.empty() ? up_to_date_page(manifest_, app_.version, texts_)
                                    : update_installed_page(manifest_, applied_.release.version, texts_);
    }
    navigate(window, std::move(page));
}

}  // namespace

int update_with_dialog(platform::Platform& platform, const RunOptions& options, const AppManifest& manifest,
                       const TextLookup& texts) {
    return UpdateDialog(platform, options, manifest, texts).run();
}

}  // namespace plinth
