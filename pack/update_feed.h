// plinth-pack feed: the update feed that lists an app's installers, kept beside them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "byte_io.h"
#include "common/result.h"
#include "package/app_manifest.h"

namespace plinth::pack {


// One release as the feed lists it.
struct FeedEntry {
    std::string version;
    std::string installer;  // the URL, relative to the feed's or absolute
    std::uint64_t size = 0;
    std::string sha256;     // 64 lower-case hex digits
    std::string notes;
    // The installer's map (installer_map.h), when one was written: its URL, relative to the
    // feed's or absolute, its size and SHA-256. No URL, no map keys.
    std::string map;
    std::uint64_t map_size = 0;
    std::string map_sha256;
    std::string signer;            // the installer's signer (authenticode_signer.h); empty: not signed
    std::optional<int> rollout;    // the percentage of installs offered it; none: every one
};

// The feed's text with `entry` added, or put in place of the release of the same version; a new
// feed when `existing` is nothing. Refused: an existing text that isn't an update feed, a feed of
// another id, a version that isn't numbers separated by dots, an installer URL that updates
// can't come from, a feed larger than the runtime reads (its size said). The releases are written newest first, in one fixed layout: the same
// releases give the same bytes.
Result<std::string> updated_feed(std::optional<std::string_view> existing, const std::string& id, const FeedEntry& entry);

// The map's URL for an installer's: ".map" added to the installer URL's path, before any query
// or fragment, so that the map lies beside the installer wherever that is.
std::string map_url_for(std::string_view installer_url);
// What to tell before `entry` joins the feed (`existing`, when there is one): a signer other
// than the newest release's, or none where earlier releases are signed. Installed apps refuse
// an update whose signer isn't theirs, so such a release reaches none of them.
std::vector<std::string> signer_warnings(std::optional<std::string_view> existing, const FeedEntry& entry);

// The feed without the release of `version`, so that clients see the next newest; refused when
// the feed has no such release.
Result<std::string> withdrawn_feed(std::string_view existing, const std::string& version);

// The feed with the release of `version` offered to `percent` of installs (0 to 100).
Result<std::string> rolled_out_feed(std::string_view existing, const std::string& version, int percent);

// A file name as a relative URL: every byte but letters, digits and "-._~" percent-encoded.
std::string url_from_file_name(std::string_view name);

}  // namespace plinth::pack
