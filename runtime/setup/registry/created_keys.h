// The extension keys an install made for its document types (`.ext`, `.ext\OpenWithProgids`),
// remembered in the uninstall entry so that the removal deletes those it leaves empty, and never
// one that was there before the app or that holds anything else.
#pragma once

#include <string_view>
#include <vector>

#include "common/result.h"
#include "package/app_manifest.h"
#include "platform/platform.h"

namespace plinth {

// A REG_SZ value of the uninstall entry: the keys under Software\Classes, joined by '|', each
// subkey before its parent. None when the install made none.
inline constexpr std::string_view kCreatedClassKeysValue = "CreatedClassKeys";

// Before the types' keys are written: adds the extension keys that don't exist yet to those the
// entry already lists, and writes the list when it grew. Fails with the registry's failure text.
Status remember_created_keys(platform::Platform& platform, std::string_view app_id,
                             const std::vector<DocumentType>& types);

// After the types' values are gone: deletes each listed key that holds nothing. A listed name
// other than ".ext" or ".ext\OpenWithProgids" (a hand-edited entry) is passed over.
void remove_created_keys(platform::Platform& platform, std::string_view app_id);

// Deletes the key under HKEY_CURRENT_USER when it has neither subkeys nor values.
void delete_key_if_empty(platform::Platform& platform, const std::string& key);

}  // namespace plinth
