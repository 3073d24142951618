// The app's licence before an interactive install: shown in a window of its own, where it can be
// read whole, unless the installed copy carries the same text. A silent run and a removal never
// show it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "state/setup_state.h"

namespace plinth {

// RCDATA 5: the licence text, UTF-8, as the packer embeds it.
inline constexpr std::uint32_t kLicenseResource = 5;
// The longest licence the packer embeds; of a longer hand-made one, no more is shown.
inline constexpr std::size_t kMaxLicenseSize = 64 * 1024;

// Whether the install may go on: the package carries no licence, the installed copy's
// uninstall.exe carries the same text byte for byte (a reinstall, or an update that didn't change
// it), or the user pressed "I accept". The log says which.
bool license_accepted(platform::Platform& platform, const SetupState& state);

}  // namespace plinth
