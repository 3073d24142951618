// Per-user URL protocols: HKCU\Software\Classes\<scheme> starts the app with the link.
//
// The uninstall entry remembers the schemes it registered, so that an update that drops one, and
// the removal, find it whatever the manifest they run with says. The entry's value of its own,
// not InstalledFiles: that one names files in the install folder, which the removal deletes.
#pragma once

#include <string_view>

#include "common/result.h"
#include "common/text.h"
#include "package/app_manifest.h"
#include "platform/platform.h"

namespace plinth {

// A REG_SZ value of the uninstall entry: the schemes joined by '|', as `AppManifest::protocols`.
// None when there are none.
inline constexpr std::string_view kUrlProtocolsValue = "UrlProtocols";

// Removes the schemes the entry remembers and the manifest no longer has (only while ours), then
// remembers the manifest's and registers each: default value "URL:{name}", "URL Protocol" empty,
// DefaultIcon the app, open command "\"{app}\" \"%1\"". Stops at the first failure with the
// registry's failure text. A manifest without schemes, after one without, only reads the entry.
Status write_url_protocols(platform::Platform& platform, const AppManifest& manifest, const Path& app_path);

// Deletes the key of each scheme of the manifest and of the entry while its open command still
// starts `app_path`: one that another program rewrote since, or that has no command, stays.
void remove_url_protocols(platform::Platform& platform, const AppManifest& manifest, const Path& app_path);

}  // namespace plinth
