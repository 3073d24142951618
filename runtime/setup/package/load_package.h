// Finding the installer package in the running executable and reading it.
#pragma once

#include <string_view>

#include "common/result.h"
#include "package/container.h"
#include "platform/platform.h"
#include "texts/messages.h"

namespace plinth {

inline constexpr std::string_view kNoPackageText = english_text(Message::no_package);

// The package from the executable's own RCDATA resource 1. Fails with "It has nothing in it to
// install." when there is no such resource, with the system's message for the error when the
// module or the resource can't be obtained, and with "Its contents can't be read." when the
// container or the manifest is unusable. The app folder's other files come from RCDATA 2 when
// there is one, failing likewise: the system's message, or "Its contents can't be read." for a
// table that breaks the rules. Writes nothing; the payload view stays valid for the
// life of the process.
Result<Package> load_installer_package(platform::Platform& platform);

}  // namespace plinth
