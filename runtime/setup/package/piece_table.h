// Where the pieces of each compressed stream lie: the installer's optional RCDATA 4.
//
// Layout, little-endian, no padding: the 8 bytes "PLNPIECE", the stream count S (32-bit), then S
// times { piece count P (32-bit), P compressed lengths (32-bit) }. The streams in order: the app
// exe's payload first, then each file of the other files' resource in its table's order. A stub
// installs without it; it tells the map of an installer where each piece ends.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace plinth {

inline constexpr std::array<std::uint8_t, 8> kPieceTableMagic = {'P', 'L', 'N', 'P', 'I', 'E', 'C', 'E'};

using StreamPieces = std::vector<std::uint32_t>;  // one stream's piece lengths, in order

std::vector<std::uint8_t> build_piece_table(const std::vector<StreamPieces>& streams);

// The table, or nothing for bytes that aren't one: too short, another magic, counts beyond the
// bytes, a piece of length 0, or bytes after the last stream. Its lengths aren't checked against
// any stream here.
std::optional<std::vector<StreamPieces>> read_piece_table(std::span<const std::uint8_t> bytes);

}  // namespace plinth
