// Rewrites the resource section of an x86-64 Windows executable.
//
// The new `.rsrc` takes the old one's place; sections after it are moved along when they are
// safe to move (discardable: relocations, debug information), the headers are fixed up
// (section sizes, SizeOfImage, the data directories, the PE checksum) and any overlay is kept.
// Needs no Windows API: it works the same on every host.
#pragma once

#include <cstdint>

#include "byte_io.h"
#include "byte_sink.h"
#include "common/result.h"
#include "resource_tree.h"
#include "stream_store.h"

namespace plinth::pack {

// The largest image and file the writer produces. Windows refuses to map images of 2 GiB and
// more, and every size in the headers is 32-bit.
inline constexpr std::uint64_t kMaxImageSize = 0x7fffffff;

// The stub's resources, after checking that the writer can rewrite it.
Result<ResourceTree> read_stub_resources(ByteView stub);

// A copy of `stub` whose resources are exactly `tree`, written to `out` in order (the checksum
// last, in its place), the tree's stored parts read from `store` a piece at a time. Every check,
// the sizes included, is made before the first byte is written.
Status write_with_resources(ByteView stub, const ResourceTree& tree, StreamStore* store, ByteSink& out,
                            std::uint64_t max_image_size = kMaxImageSize);

// The same in memory, for a tree that stores nothing.
Result<Bytes> replace_resources(ByteView stub, const ResourceTree& tree,
                                std::uint64_t max_image_size = kMaxImageSize);

}  // namespace plinth::pack
