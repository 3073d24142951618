#include "content_pieces.h"

#include <array>
#include <bit>

namespace plinth::pack {
namespace {

// The gear table: 256 fixed pseudo-random words (splitmix64 from a fixed seed), the same on every
// host, so that every packer cuts the same bytes at the same places.
constexpr std::array<std::uint64_t, 256> make_gear() {
    std::array<std::uint64_t, 256> gear{};
    std::uint64_t state = 0x706c696e74687069;
    for (auto& word : gear) {
        state += 0x9e3779b97f4a7c15;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
        z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
        word = z ^ (z >> 31);
    }
    return gear;
}
constexpr std::array<std::uint64_t, 256> kGear = make_gear();

static_assert(std::has_single_bit(kPieceSpread));

}  // namespace

std::vector<std::uint32_t> content_pieces(ByteView data, const PieceSizes& sizes) {
    // The hash's top bits: shifted left once a byte, bit 63 depends on the last 64 bytes, the low
    // bits on only the last few.
    const std::uint64_t mask = ~std::uint64_t{0} << (64 - std::countr_zero(sizes.spread));
    std::vector<std::uint32_t> pieces;
    std::size_t start = 0;
    while (start < data.size()) {
        const std::size_t left = data.size() - start;
        std::size_t length = left <= sizes.maximum ? left : sizes.maximum;
        if (left > sizes.minimum) {
            // The hash warms up over the 64 bytes before the earliest cut allowed.
            std::uint64_t hash = 0;
            const std::size_t end = start + length;
            for (std::size_t i = start + sizes.minimum - 64; i < end; ++i) {
                hash = (hash << 1) + kGear[data[i]];
                if (i >= start + sizes.minimum - 1 && (hash & mask) == 0) {
                    length = i + 1 - start;
                    break;
                }
            }
        }
        pieces.push_back(static_cast<std::uint32_t>(length));
        start += length;
    }
    return pieces;
}

}  // namespace plinth::pack
