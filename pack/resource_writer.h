// Rewrites the resource section of an x86-64 Windows executable.
//
// The new `.rsrc` takes the old one's place; sections after it are moved along when they are
// safe to move (discardable: relocations, debug information), the headers are fixed up
// (section sizes, SizeOfImage, the data directories, the PE checksum) and any overlay is kept.
// Needs no Windows API: it works the same on every host.
#pragma once

#include <cstdint>

#include "byte_io.h"
#include "common/result.h"
#include "resource_tree.h"

namespace plinth::pack {

// The largest image and file the writer produces. Windows refuses to map images of 2 GiB and
// more, and every size in the headers is 32-bit.
inline constexpr std::uint64_t kMaxImageSize = 0x7fffffff;

// The stub's resources, after checking that the writer can rewrite it.
Result<ResourceTree> read_stub_resources(ByteView stub);

// A copy of `stub` whose resources are exactly `tree`.
Result<Bytes> replace_resources(ByteView stub, const ResourceTree& tree,
                                std::uint64_t max_image_size = kMaxImageSize);

}  // namespace plinth::pack
