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

// A scheme's key is ours while it is a URL protocol (it has the "URL Protocol" value) whose open
// command starts the app: only such a key is rewritten or deleted, and of it only what is written
// here.
//
// Removes the schemes the entry remembers and the manifest no longer has (only while ours), then
// remembers the manifest's that are ours or whose class key exists neither in the user's classes
// nor in HKEY_CLASSES_ROOT, and registers each: default value "URL:{name}", "URL Protocol" empty,
// DefaultIcon the app, open command "\"{app}\" \"%1\"". Another program's key is left out with
// a log line, and the install goes on. Stops at the first failure with the registry's failure
// text. A manifest without schemes, after one without, only reads the entry.
Status write_url_protocols(platform::Platform& platform, const AppManifest& manifest, const Path& app_path);

// For each scheme of the manifest and of the entry whose key is still ours, deletes the values
// written above, then each of its keys left empty: one that another program rewrote since, or
// that isn't a URL protocol, stays whole, and what another program added to ours stays too.
void remove_url_protocols(platform::Platform& platform, const AppManifest& manifest, const Path& app_path);

}  // namespace plinth
