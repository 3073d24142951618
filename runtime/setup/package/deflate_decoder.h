// Raw deflate data (RFC 1951) decoded straight into memory of the caller's, and the Adler-32
// checksum that a zlib stream (RFC 1950) keeps of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace plinth {

struct DeflateDecoded {
    bool ok = false;          // the data ended with its last block and nothing went beyond a rule
    std::size_t consumed = 0; // input bytes up to the byte after the last block
    std::size_t total = 0;    // bytes the data makes, kept or only counted
    std::size_t last_block_bit = 0;  // where the last block's header starts, in bits from the start
    std::size_t end_bit = 0;         // the bit after the last block's last bit
};

// Decodes the deflate data at the start of `input` into `output`, which is also the history its
// back-references copy from. What doesn't fit `output` is counted rather than kept (from then
// on nothing more is written); past `limit` bytes in all the data is refused at once. Refused,
// as zlib refuses them: a truncated stream, a reserved block type, a stored block whose length
// disagrees with its complement, an over-subscribed or incomplete code, a code-length repeat
// with nothing to repeat or beyond the lengths, no end-of-block code, more than 286 literal and
// length or 30 distance codes, an invalid code, and a distance further back than the data.
DeflateDecoded decode_deflate(std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                              std::size_t limit);

// The Adler-32 of `data`, continuing from `adler` (1 for nothing yet).
std::uint32_t adler32_of(std::span<const std::uint8_t> data, std::uint32_t adler = 1);

}  // namespace plinth
