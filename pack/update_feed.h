// plinth-pack feed: the update feed that lists an app's installers, kept beside them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

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
};

// The feed's text with `entry` added, or put in place of the release of the same version; a new
// feed when `existing` is nothing. Refused: an existing text that isn't an update feed, a feed of
// another id, a version that isn't numbers separated by dots, an installer URL that updates
// can't come from. The releases are written newest first, in one fixed layout: the same
// releases give the same bytes.
Result<std::string> updated_feed(std::optional<std::string_view> existing, const std::string& id, const FeedEntry& entry);

// The map's URL for an installer's: ".map" added to the installer URL's path, before any query
// or fragment, so that the map lies beside the installer wherever that is.
std::string map_url_for(std::string_view installer_url);

// A file name as a relative URL: every byte but letters, digits and "-._~" percent-encoded.
std::string url_from_file_name(std::string_view name);

}  // namespace plinth::pack
