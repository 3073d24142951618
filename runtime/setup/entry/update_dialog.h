// /update without /S: a task dialog that offers the newer version with its notes, shows the
// download's progress on its bar and then the result, all on the one dialog. Returns the exit
// code: 0 when the newer version was installed or none is newer; 1 on failure, the failure then
// on the page and on the "setup:" line; 2 when the user chose not to update ("Not now", closing
// the offer, or Cancel while it downloads: nothing is installed then).
#pragma once

#include "command_line.h"
#include "package/app_manifest.h"
#include "platform/platform.h"
#include "texts/text_lookup.h"

namespace plinth {

int update_with_dialog(platform::Platform& platform, const RunOptions& options, const AppManifest& manifest,
                       const TextLookup& texts);

}  // namespace plinth
