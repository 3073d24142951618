// The app's streams when the packer chose LZMA (compression/lzma_stream.h): the exe decoded on
// every thread the install has, and the size check a file's stream passes before room is taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/result.h"
#include "compression/zlib_inflate.h"
#include "platform/platform.h"

namespace plinth {

// The exe's bytes from its LZMA stream, the pieces decoded on this thread and, given a session
// and more than one piece, on a second thread too. A stream that breaks the layout or its bounds,
// decodes to more than `max_size` bytes, or fails in any piece, and a file that can't be held in
// memory, fail with "The app inside the installer is damaged.".
Result<InflatedBytes> decode_lzma_payload(std::span<const std::uint8_t> payload, std::size_t max_size,
                                          platform::Session* session = nullptr);

// Whether a file's stream, zlib or LZMA, can decode to `size` bytes: for LZMA, whether its
// pieces add up to it. A larger claim is damage, refused before any room is taken for it.
bool stream_size_possible(std::span<const std::uint8_t> stream, std::size_t size);

}  // namespace plinth
