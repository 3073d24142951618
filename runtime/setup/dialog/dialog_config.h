// Turns a page into the task dialog's configuration. The configuration only points into the
// page (its text store and dialog button array), so the page must outlive every dialog showing it.
#pragma once

#include <cstdint>
#include <vector>

#include "state/dialog_page.h"
#include "platform/platform.h"

namespace plinth {

inline constexpr std::uint32_t kDialogConfigSize = 160;        // the packed 64-bit TASKDIALOGCONFIG
inline constexpr std::uint32_t kAllowDialogCancellation = 0x0008;  // TDF_ALLOW_DIALOG_CANCELLATION
inline constexpr std::uint32_t kUseHiconMain = 0x0002;             // TDF_USE_HICON_MAIN
inline constexpr std::uint32_t kRtlLayout = 0x2000;                // TDF_RTL_LAYOUT
inline constexpr std::uint32_t kExpandedByDefault = 0x0080;        // TDF_EXPANDED_BY_DEFAULT
inline constexpr std::uint32_t kShowProgressBar = 0x0200;          // TDF_SHOW_PROGRESS_BAR
inline constexpr std::uint32_t kShowMarqueeProgressBar = 0x0400;   // TDF_SHOW_MARQUEE_PROGRESS_BAR
inline constexpr std::uint32_t kCallbackTimer = 0x0800;            // TDF_CALLBACK_TIMER
inline constexpr std::uintptr_t kErrorIcon = 0xFFFE;               // TD_ERROR_ICON

// The app icon's side in pixels at a system DPI: 32 at 96 DPI, scaled, never below 32.
int app_icon_side(std::uint32_t dpi);

// Fills every member. The page's converted texts are added to its text store (earlier ones
// stay valid); its dialog button array is rebuilt. `callback_data` is the setup state, or null
// for the damaged-installer page.
platform::DialogConfig to_dialog_config(platform::Platform& platform, DialogPage& page, void* callback_data);

// Keeps the page at the end of `pages`, where it lives while the dialog reads its texts, and
// converts it (one call for every page a dialog shows).
platform::DialogConfig keep_page(platform::Platform& platform, std::vector<DialogPage>& pages, DialogPage&& page,
                                 void* callback_data);

}  // namespace plinth
