// A file's bytes cut where their content says, so that an edit moves only the cuts near it: the
// same bytes give the same pieces in the next release, wherever they now lie in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "byte_io.h"

namespace plinth::pack {

// A gear hash over the last 64 bytes decides each cut. No piece is shorter than the minimum
// (save the file's last) or longer than the maximum; a cut is found on average every
// kPieceMinimum + kPieceSpread bytes of varied data (about 125 KiB once the maximum cuts the
// longest). Each piece starts deflate with nothing to look back at, which costs about 400 bytes
// of PE code a piece with libdeflate: 64 KiB on average grew 50 MiB of PE code by 2.2 %, 128 KiB
// by about 1 %, while an edit costs only a piece or two more download either way. Zeros and
// other runs never cut, so they go in maximum pieces.
inline constexpr std::size_t kPieceMinimum = 64 * 1024;
inline constexpr std::size_t kPieceSpread = 64 * 1024;  // a power of two: the hash's mask
inline constexpr std::size_t kPieceMaximum = 256 * 1024;

// Another choice of the three: LZMA's pieces are larger (lzma_compressor.h). The spread is a power
// of two, the minimum at least 64.
struct PieceSizes {
    std::size_t minimum, spread, maximum;
};
inline constexpr PieceSizes kDeflatePieces{kPieceMinimum, kPieceSpread, kPieceMaximum};

// The lengths of the pieces of `data`, in order, each at least 1, summing to its size; none for
// no data.
std::vector<std::uint32_t> content_pieces(ByteView data, const PieceSizes& sizes = kDeflatePieces);

}  // namespace plinth::pack
