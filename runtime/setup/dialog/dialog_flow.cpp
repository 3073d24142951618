#include "dialog/dialog_flow.h"

#include "dialog/dialog_config.h"
#include "dialog/folder_choice.h"
#include "dialog/pages.h"
#include "state/setup_state.h"
#include "operation/setup_operation.h"

namespace plinth {
namespace {

// Runs the operation synchronously (the dialog doesn't respond meanwhile) and moves the dialog
// to the page that tells its outcome. That page has no action button, so this runs at most once.
void run_operation_and_navigate(platform::WindowHandle window, SetupState& state) {
    platform::Platform& platform = *state.platform;
    const Status status = run_setup_operation(platform, state);
    if (!status) state.failed = true;
    // Built in place: an assignment of pages would carry a move-assignment of its own.
    DialogPage page = !status            ? failure_page(state.manifest, state.remove_mode, status.error(), state.texts)
                      : state.remove_mode ? removed_page(state.manifest, state.texts)
                                          : installed_page(state.manifest, state.texts);
    // Kept in the state before it is shown: the dialog reads its texts until the run ends.
    platform.dialogs.navigate(window, keep_page(platform, state.pages, std::move(page), &state));
}

}  // namespace

platform::HResult on_dialog_notification(platform::WindowHandle window, std::uint32_t notification,
                                         std::uintptr_t wparam, std::intptr_t, void* data) {
    auto* state = static_cast<SetupState*>(data);
    if (!state || !state->platform) return kSOk;
    switch (notification) {
        case kNotificationButtonClicked:
            if (wparam == static_cast<std::uintptr_t>(kChangeFolderButton)) {
                change_folder(window, *state);
                return kSFalse;
            }
            if (wparam != static_cast<std::uintptr_t>(kActionButton)) return kSOk;
            run_operation_and_navigate(window, *state);
            return kSFalse;
        case kNotificationVerificationClicked:
            state->desktop_shortcut = wparam != 0;
            return kSOk;
        default:
            return kSOk;
    }
}

}  // namespace plinth
