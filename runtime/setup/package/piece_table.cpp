#include "package/piece_table.h"

#include <algorithm>

namespace plinth {
namespace {

void append_u32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

std::vector<std::uint8_t> build_piece_table(const std::vector<StreamPieces>& streams) {
    std::vector<std::uint8_t> out(kPieceTableMagic.begin(), kPieceTableMagic.end());
    append_u32(out, static_cast<std::uint32_t>(streams.size()));
    for (const StreamPieces& pieces : streams) {
        append_u32(out, static_cast<std::uint32_t>(pieces.size()));
        for (std::uint32_t length : pieces) append_u32(out, length);
    }
    return out;
}

std::optional<std::vector<StreamPieces>> read_piece_table(std::span<const std::uint8_t> bytes) {
    std::size_t at = 0;
    auto u32 = [&]() -> std::optional<std::uint32_t> {
        if (bytes.size() - at < 4) return std::nullopt;
        const std::uint32_t value = bytes[at] | std::uint32_t{bytes[at + 1]} << 8 | std::uint32_t{bytes[at + 2]} << 16 |
                                    std::uint32_t{bytes[at + 3]} << 24;
        at += 4;
        return value;
    };
    if (bytes.size() < kPieceTableMagic.size() || !std::equal(kPieceTableMagic.begin(), kPieceTableMagic.end(), bytes.begin())) {
        return std::nullopt;
    }
    at = kPieceTableMagic.size();
    const auto count = u32();
    // Each stream takes at least its 4-byte count: a count the bytes can't hold is refused
    // before anything is reserved for it.
    if (!count || *count > (bytes.size() - at) / 4) return std::nullopt;
    std::vector<StreamPieces> streams(*count);
    for (StreamPieces& pieces : streams) {
        const auto pieces_count = u32();
        if (!pieces_count || *pieces_count > (bytes.size() - at) / 4) return std::nullopt;
        pieces.resize(*pieces_count);
        for (std::uint32_t& length : pieces) {
            length = *u32();
            if (length == 0) return std::nullopt;
        }
    }
    if (at != bytes.size()) return std::nullopt;
    return streams;
}

}  // namespace plinth
