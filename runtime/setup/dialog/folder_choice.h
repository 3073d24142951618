// The install page's "Change folder...": offered for a fresh install when the manifest says
// "allowFolderChoice": true. The folder picked is checked by the rules of /dir=; the page then
// shows where the app goes, or why the picked folder can't be used, and can be asked again.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "state/dialog_page.h"
#include "state/setup_state.h"

namespace plinth {

inline constexpr std::int32_t kChangeFolderButton = 103;
inline constexpr std::uint32_t kVerificationFlagChecked = 0x0100;  // TDF_VERIFICATION_FLAG_CHECKED

// The first page in install mode: what is installed is read into the state, and the install
// page tells it, with "Change folder..." when the choice is offered.
DialogPage first_install_page(platform::Platform& platform, SetupState& state);

// On "Change folder...": the picker, opened at the folder the page names. A folder that the
// rules refuse but that could hold one of the app's own (it holds other things, or is a drive's
// root) gets that folder, named as the app's default one is. Cancelling the picker changes
// nothing; otherwise the dialog moves to the install page again, its check box as the user left
// it.
void change_folder(platform::WindowHandle window, SetupState& state);

}  // namespace plinth
