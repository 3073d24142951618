// The installer package: the raw-data resource that carries the app.
//
// Layout, no padding: the 8 bytes "PLNSETUP", the manifest length L (unsigned 32-bit,
// little-endian), L bytes of JSON app manifest, then the payload (the app's exe as a zlib stream)
// up to the end of the resource.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "package/app_files.h"
#include "package/app_manifest.h"

namespace plinth {

inline constexpr std::array<std::uint8_t, 8> kPackageMagic = {'P', 'L', 'N', 'S', 'E', 'T', 'U', 'P'};
inline constexpr std::size_t kPackageHeaderSize = 12;  // magic and manifest length
inline constexpr std::uint64_t kMaxManifestLength = 0xFFFFFFFFu;

struct Package {
    AppManifest manifest;
    // The compressed app: a view into the resource, never copied; may be empty here.
    std::span<const std::uint8_t> payload;
    // An app folder's other files, from their own resource; empty for an app of one exe.
    AppFiles files;
};

// Checks the container (length, magic, manifest length) and parses the manifest. Every failure
// is "Its contents can't be read."; the payload is not looked at.
Result<Package> read_package(std::span<const std::uint8_t> resource);

// The package bytes for a manifest and a payload, as the packer writes them. The manifest must be
// at most `kMaxManifestLength` bytes (the packer checks it first); it is not validated here.
std::vector<std::uint8_t> build_package(std::string_view manifest_json,
                                        std::span<const std::uint8_t> payload);

}  // namespace plinth
