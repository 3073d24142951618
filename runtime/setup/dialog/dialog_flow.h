// The dialog flow: the task dialog's callback on every page. It follows the check box, runs the
// setup operation when the action button is pressed and navigates to the outcome page.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace plinth {

inline constexpr platform::HResult kSOk = 0;
inline constexpr platform::HResult kSFalse = 1;  // from a button click: the dialog stays open

inline constexpr std::uint32_t kNotificationButtonClicked = 2;        // TDN_BUTTON_CLICKED
inline constexpr std::uint32_t kNotificationVerificationClicked = 8;  // TDN_VERIFICATION_CLICKED

// `data` is the setup state, or null (the damaged-installer page), when nothing is done.
platform::HResult on_dialog_notification(platform::WindowHandle window, std::uint32_t notification,
                                         std::uintptr_t wparam, std::intptr_t lparam, void* data);

}  // namespace plinth
