// Icon groups: read from a .ico file or from an executable's resources, and written into a
// resource tree as an icon group with its icons.
#pragma once

#include <cstdint>
#include <vector>

#include "byte_io.h"
#include "common/result.h"
#include "resource_tree.h"

namespace plinth::pack {

// One image of an icon, with the directory fields the group keeps about it.
struct IconImage {
    std::uint8_t width = 0;   // 0 means 256
    std::uint8_t height = 0;
    std::uint8_t color_count = 0;
    std::uint16_t planes = 0;
    std::uint16_t bit_count = 0;
    Bytes data;
    friend bool operator==(const IconImage&, const IconImage&) = default;
};

using IconSet = std::vector<IconImage>;

// The most bytes an icon's images may add up to. Real icons stay below a few MB; the bound
// stops a directory whose entries all point at one large image from multiplying it.
inline constexpr std::uint64_t kMaxIconBytes = 16u << 20;

// The images of a .ico file. Fails with the reason when the file isn't a well-formed icon or
// its images add up to more than kMaxIconBytes.
Result<IconSet> parse_ico(ByteView file);

// The icons of the first icon group of an executable's resources (directory order), or
// nothing when it has no complete one. Fails when its images add up to more than kMaxIconBytes.
Result<std::optional<IconSet>> first_icon_group(const ResourceTree& tree);

// Makes `icons` the tree's icon group `group_id`: the group's old icons go, the new ones get
// the lowest icon ids from 1 up that no remaining icon uses. The language is the old group's,
// or `language`. Fails, leaving the tree as it was, when too few ids are free.
Status put_icon_group(ResourceTree& tree, std::uint16_t group_id, const IconSet& icons,
                      std::uint16_t language);

}  // namespace plinth::pack
