// Crafted resource sections, icon files and icon groups of the kinds that once made the packer
// hang or run out of memory. Small ones serve the unit tests; full-size ones (a few MB) are
// written by tests/tools/craft_hostile_pe for the command-line check.
#pragma once

#include <cstdint>
#include <vector>

#include "byte_io.h"
#include "resource_tree.h"

namespace plinth::pack::testing {

// A resource section (mapped at kStubResourceRva) whose root has `named` + `numbered` entries
// that all lead to one type directory, whose entries (as many) all lead to one language
// directory with `leaves` (0 or 1) leaves. Every named entry points at one name of
// `name_units` code units. Without a leaf, no cap on leaves sees the visits multiply.
Bytes shared_directory_resources(std::uint16_t named, std::uint16_t numbered, std::uint16_t name_units,
                                 std::uint16_t leaves = 0);

// A resource section whose root leads to itself from its one type entry.
Bytes looping_resources();

// A resource section with `leaves` RCDATA resources (ids from 1), each with its own
// directories and data entry, whose data all lies in one blob of `blob_size` bytes.
Bytes shared_blob_resources(std::uint16_t leaves, std::uint32_t blob_size);

// A bitmap icon image of `size` bytes (at least 40).
Bytes dib_image(std::size_t size, std::uint8_t seed);

// A .ico file of `count` entries that all point at `image`.
Bytes ico_sharing_one_image(std::uint16_t count, const Bytes& image);

// A raw icon group resource (GRPICONDIR) whose entries name these icon ids.
Bytes icon_group_resource(const std::vector<std::uint16_t>& icon_ids, std::uint32_t image_size);

// The resources of a runtime stub: a manifest, icon group 1 with icon 1, a version record.
ResourceTree plain_stub_tree();

// A stub with the plain resources plus icon group 5 holding one icon under each of these ids.
Bytes stub_with_icons_outside_group_one(const std::vector<std::uint16_t>& ids);

// An app whose icon group 1 has `entries` entries that all name icon 1 of `image_size` bytes.
Bytes app_sharing_one_icon(std::uint16_t entries, std::uint32_t image_size);

// The plain stub with its resource section's PointerToRawData set to 0, inside the headers,
// and no file data for the section before it.
Bytes stub_with_resources_inside_headers();

}  // namespace plinth::pack::testing
