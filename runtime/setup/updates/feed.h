// The update feed: the JSON file `plinth-pack feed` writes beside the installers, read into the
// releases it offers, and the choice of the one to install.
//
//   {"id": "com.example.notes",
//    "releases": [{"version": "1.5.0", "installer": "Notes-1.5.0-Setup.exe",
//                  "size": 1234567, "sha256": "<64 hex digits>", "notes": "...",
//                  "map": "Notes-1.5.0-Setup.exe.map", "mapSize": 4321, "mapSha256": "<hex>"}]}
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "platform/platform.h"

namespace plinth {

// A real feed is a few KiB; the bound keeps a hostile server from filling memory.
inline constexpr std::size_t kMaxFeedSize = 1024 * 1024;
// An installer is a PE image, whose size a 32-bit field holds.
inline constexpr std::uint64_t kMaxInstallerSize = 0xFFFFFFFFu;

// Where a release's map is (updates/installer_map.h), and what it must be.
struct ReleaseMap {
    std::string url;  // as written: relative to the feed's URL, or absolute
    std::uint64_t size = 0;  // 1 to kMaxMapSize
    platform::Sha256 sha256{};
};

struct Release {
    std::string version;    // comparable (see package/version_order.h)
    std::string installer;  // as written: relative to the feed's URL, or absolute
    std::uint64_t size = 0;  // 1 to kMaxInstallerSize
    platform::Sha256 sha256{};
    std::string notes;
    // Only when "map", "mapSize" and "mapSha256" are all there and valid: a release whose map
    // keys are damaged is still a release, downloaded whole.
    std::optional<ReleaseMap> map;
};

struct Feed {
    std::string id;
    std::vector<Release> releases;  // as written
};

// The feed, or why it can't be used ("The update feed ... ."): not JSON, no "id", no
// "releases" array, or a release without a comparable "version", a non-empty "installer", a
// "size" from 1 to 4 GiB - 1, or a "sha256" of 64 hex digits. Keys it doesn't know are ignored,
// so that later feeds can add some.
Result<Feed> read_feed(std::string_view json);

// The index in the feed's releases of the newest one that is newer than `installed_version`,
// or their count when none is (an index, so that nothing is copied). The feed must be the app's
// own (its id equal to `app_id`, exactly). The order of the releases doesn't matter; no release
// older than or equal to the installed version is ever chosen.
Result<std::size_t> newest_update(const Feed& feed, std::string_view app_id, std::string_view installed_version);

// The 64 lower-case hex digits.
std::string sha256_text(const platform::Sha256& hash);

}  // namespace plinth
