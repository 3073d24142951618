#include "compression/lzma_stream.h"

#include <algorithm>

#include "compression/lzma_sdk.h"

namespace plinth {
namespace {

std::uint32_t u32_at(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 | std::uint32_t{at[3]} << 24;
}

// The range coder starts with 5 bytes and ends with 5 more; no piece of data is shorter.
constexpr std::size_t kShortestPiece = 5;

}  // namespace

bool is_lzma_stream(std::span<const std::uint8_t> stream) {
    return stream.size() >= kLzmaMagic.size() && std::equal(kLzmaMagic.begin(), kLzmaMagic.end(), stream.begin());
}

std::optional<LzmaPieces> read_lzma_pieces(std::span<const std::uint8_t> stream, std::uint64_t max_size) {
    if (stream.size() < kLzmaHeaderSize || !is_lzma_stream(stream)) return std::nullopt;
    LzmaPieces result;
    std::copy_n(stream.begin() + kLzmaMagic.size(), kLzmaPropertiesSize, result.properties.begin());
    const unsigned lc_lp_pb = result.properties[0];
    const unsigned lc = lc_lp_pb % 9, lp = lc_lp_pb / 9 % 5, pb = lc_lp_pb / 45;
    if (lc + lp > 4 || pb > 4 || u32_at(&result.properties[1]) > kMaxLzmaDictionary) return std::nullopt;

    std::size_t at = kLzmaHeaderSize;
    while (at < stream.size()) {
        if (stream.size() - at < kLzmaPieceHeaderSize) return std::nullopt;
        const std::uint32_t packed = u32_at(&stream[at]);
        const std::uint32_t size = u32_at(&stream[at + 4]);
        at += kLzmaPieceHeaderSize;
        if (size == 0 || packed < kShortestPiece || packed > stream.size() - at) return std::nullopt;
        if (size > max_size - result.size) return std::nullopt;
        result.pieces.push_back({stream.subspan(at, packed), static_cast<std::size_t>(result.size), size});
        result.size += size;
        at += packed;
    }
    return result;
}

void LzmaDecoding::run() {
    for (std::size_t i; !failed.load(std::memory_order_relaxed) && (i = next.fetch_add(1)) < pieces.pieces.size();) {
        const LzmaPiece& piece = pieces.pieces[i];
        if (!plinth_lzma_decode(out.data() + piece.offset, piece.size, piece.packed.data(), piece.packed.size(),
                                pieces.properties.data())) {
            failed = true;
        }
    }
}

bool decode_lzma_into(std::span<const std::uint8_t> stream, std::span<std::uint8_t> out) {
    const auto pieces = read_lzma_pieces(stream, out.size());
    if (!pieces || pieces->size != out.size()) return false;
    LzmaDecoding decoding{*pieces, out};
    decoding.run();
    return !decoding.failed;
}

}  // namespace plinth
