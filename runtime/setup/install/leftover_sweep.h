// Cleaning up files that an earlier run moved aside because they were in use.
#pragma once

#include "common/text.h"
#include "platform/platform.h"

namespace plinth {

// Deletes every entry of the folder whose name ends in ".old" (case-sensitive). Nothing here
// can fail: an entry that can't be deleted now stays for a later run.
void sweep_leftovers(platform::Platform& platform, const Path& folder);

}  // namespace plinth
