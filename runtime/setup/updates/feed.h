// The update feed: the JSON file `plinth-pack feed` writes beside the installers, read into the
// releases it offers, and the choice of the one to install.
//
//   {"id": "com.example.notes",
//    "releases": [{"version": "1.5.0", "installer": "Notes-1.5.0-Setup.exe",
//                  "size": 1234567, "sha256": "<64 hex digits>", "notes": "...",
//                  "signer": "CN=...", "rollout": 20,
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
    std::string signer;  // who signed it, as plinth-pack read it: kept for the packer's checks
    std::optional<std::uint8_t> rollout;  // 0 to 100: the share of installs offered it; none: all
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

// A release staged to a share of installs is offered to this one when its bucket (0 to 99, from
// its own random number) is below that percentage: 0 offers it to none, 100 to all. An install
// without a bucket is offered a staged release only at 100.
bool offered_to(const Release& release, std::optional<std::uint32_t> bucket);

// The bucket of an install's random number (its uninstall entry keeps it): the same number always
// falls in the same bucket, so raising a percentage only adds installs.
std::uint32_t rollout_bucket(std::uint32_t install_number);

// The index in the feed's releases of the newest one that is newer than `installed_version`,
// or their count when none is (an index, so that nothing is copied). The feed must be the app's
// own (its id equal to `app_id`, exactly). The order of the releases doesn't matter; no release
// older than or equal to the installed version is ever chosen, nor one not offered to this
// install's rollout `bucket` (offered_to).
Result<std::size_t> newest_update(const Feed& feed, std::string_view app_id, std::string_view installed_version,
                                  std::optional<std::uint32_t> bucket = std::nullopt);

// The 64 lower-case hex digits.
std::string sha256_text(const platform::Sha256& hash);

}  // namespace plinth
