// An LZMA stream of the package: a file's bytes in pieces that each decode on their own, so that
// an update fetches only the pieces that changed and the install decodes on more than one thread.
//
// Layout, little-endian, no padding: the 4 bytes "LZMA" (no zlib stream starts so: the low nibble
// of its first byte is 8, so a stub that knows only zlib refuses it as damage), the 5 bytes of
// LZMA properties as the LZMA SDK writes them (lc/lp/pb and the dictionary size), then for each
// piece its packed length (32-bit), its size once decoded (32-bit) and that many bytes of raw
// LZMA data without an end mark. Nothing follows the last piece; an empty file has none.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace plinth {

inline constexpr std::array<std::uint8_t, 4> kLzmaMagic = {'L', 'Z', 'M', 'A'};
inline constexpr std::size_t kLzmaPropertiesSize = 5;
inline constexpr std::size_t kLzmaHeaderSize = kLzmaMagic.size() + kLzmaPropertiesSize;
inline constexpr std::size_t kLzmaPieceHeaderSize = 8;
// The largest dictionary a stream may declare: the packer's pieces need far less.
inline constexpr std::uint32_t kMaxLzmaDictionary = 64u << 20;

struct LzmaPiece {
    std::span<const std::uint8_t> packed;
    std::size_t offset = 0;  // where its bytes go in the file
    std::uint32_t size = 0;  // bytes once decoded
};

struct LzmaPieces {
    std::array<std::uint8_t, kLzmaPropertiesSize> properties{};
    std::vector<LzmaPiece> pieces;
    std::uint64_t size = 0;  // of the file: the pieces' sizes added up
};

// Whether the stream says it is LZMA (its first four bytes); a stub decodes nothing else but zlib.
bool is_lzma_stream(std::span<const std::uint8_t> stream);

// The pieces, or nothing when the stream breaks the layout or the bounds: properties beyond
// lc + lp = 4 or pb = 4 (the decoder's tables stay a few KiB), a dictionary above
// kMaxLzmaDictionary, a piece of no bytes or shorter than a range coder's start, a length beyond
// the stream's end, bytes after the last piece, or a file of more than `max_size` bytes.
std::optional<LzmaPieces> read_lzma_pieces(std::span<const std::uint8_t> stream, std::uint64_t max_size);

// Decoding the pieces into the file's room, `out` (exactly the file's size), from one thread or
// several at once: each takes the next piece not yet taken until none is left or one fails.
// Each piece writes only its own span of `out` and must fill it exactly with all of its bytes.
struct LzmaDecoding {
    const LzmaPieces& pieces;
    std::span<std::uint8_t> out;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};

    void run();
    static void run_on(void* self) { static_cast<LzmaDecoding*>(self)->run(); }
};

// Whether the stream decodes to exactly `out`, on this thread.
bool decode_lzma_into(std::span<const std::uint8_t> stream, std::span<std::uint8_t> out);

}  // namespace plinth
