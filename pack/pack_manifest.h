// The packer's check of an app manifest: the runtime's own rules, and on top of them what would
// certainly break the install although the runtime would load it.
#pragma once

#include <string>
#include <string_view>

#include "common/result.h"
#include "package/app_manifest.h"

namespace plinth::pack {

// The manifest, or a sentence for the app's developer: the JSON error with line and column, the
// key that is missing or wrong, or why the "exe" or "id" value can't work.
Expected<AppManifest, std::string> check_manifest_for_packing(std::string_view json);

}  // namespace plinth::pack
