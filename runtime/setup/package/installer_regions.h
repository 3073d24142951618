// An installer file cut into regions that the next release can share byte for byte: the headers,
// each section, the resource directory, each resource, and inside the package's resources the
// heads and each compressed piece of each stream; the tail after the sections (an overlay, the
// signature) is one region. An update's map hashes these regions; the installed uninstall.exe is
// cut the same way, so each region it shares with the new installer needs no download.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "package/pe_file.h"

namespace plinth {

struct Region {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    friend bool operator==(const Region&, const Region&) = default;
};

// The file cut into contiguous regions covering it whole, in order, none empty (no regions for an
// empty file). Whatever can't be read (not a PE, bounds that don't hold, no piece table or one
// that doesn't add up) gives larger regions, never a failure; every read is bounded. Only the
// headers and tables are read, never the streams: a file on disk needn't be in memory.
std::vector<Region> installer_regions(PeSource& file);
std::vector<Region> installer_regions(std::span<const std::uint8_t> file);

}  // namespace plinth
