#include "compression/zlib_inflate.h"

#include <algorithm>
#include <new>

#include "compression/deflate_decoder.h"

namespace plinth {
namespace {

constexpr std::size_t kInitialOutputSize = 64 * 1024;
// Executables deflate to between a half and a quarter of their size. Room for four times the
// compressed bytes is taken before inflating, and the output is written into it, never moved.
// An app that deflates better than that is inflated a second time into room of its exact size,
// once the first pass has counted it: a vector that doubled its capacity instead would copy what
// was inflated and hold up to twice the app's size, and a small hostile stream would make it take
// gigabytes before its size is known. On Windows operator new commits what it reserves (the room
// counts against the system's commit limit at once), so the first room is never larger than the
// largest size allowed either.
constexpr std::size_t kReserveFactor = 4;
// The zlib header and the Adler-32 trailer around the deflate data are checked here.
constexpr unsigned kMaxWindowBits = 15;
constexpr std::uint8_t kMethodDeflate = 8;
constexpr std::uint8_t kPresetDictionaryFlag = 0x20;

// Whether `size` bytes can be had now. Asked without failing, so that room the system can't
// give is done without, or refused as damage, rather than ending the process: the installer is
// built without exceptions, and its operator new ends it when memory runs out.
bool can_allocate(std::size_t size) {
    void* probe = ::operator new(size, std::nothrow);
    if (probe == nullptr) return false;
    ::operator delete(probe);
    return true;
}

InflatedBytes first_room(std::size_t compressed_size, std::size_t max_size) {
    InflatedBytes room;
    const std::size_t limit = room.max_size() / kReserveFactor;
    const std::size_t wanted = std::min(
        {max_size, room.max_size(), std::max(kInitialOutputSize, std::min(compressed_size, limit) * kReserveFactor)});
    // Without it the first pass only counts, and the second takes what the app needs.
    if (can_allocate(wanted)) room.resize(wanted);
    return room;
}

// The RFC 1950 header: deflate, a window of at most 32 KiB, a valid check value and no preset
// dictionary (the installer has none to give).
bool valid_header(std::uint8_t cmf, std::uint8_t flg) {
    if ((cmf & 0x0F) != kMethodDeflate || (cmf >> 4) + 8u > kMaxWindowBits) return false;
    if (((unsigned{cmf} << 8) | flg) % 31 != 0) return false;
    return (flg & kPresetDictionaryFlag) == 0;
}

// Whether the Adler-32 that follows the deflate data at `at` (most significant byte first) is
// that of `content`.
bool trailer_matches(std::span<const std::uint8_t> stream, std::size_t at, std::span<const std::uint8_t> content) {
    if (stream.size() - at < 4) return false;
    std::uint32_t expected = 0;
    for (std::size_t i = 0; i < 4; ++i) expected = (expected << 8) | stream[at + i];
    return expected == adler32_of(content);
}

// Deflate makes at most 1032 bytes of one: a run of 258 bytes in two bits.
constexpr std::size_t kMaxDeflateRatio = 1032;

// Whether the stream after its header inflates into `room`, at most `limit` bytes, and ends with
// the checksum of what it made. A stream that makes more than `room` holds but no more than
// `limit` has only been counted: its size is in `total`, its checksum is unchecked.
bool inflate_stream(std::span<const std::uint8_t> stream, std::span<std::uint8_t> room, std::size_t limit,
                    std::size_t& total) {
    const DeflateDecoded decoded = decode_deflate(stream.subspan(2), room, limit);
    total = decoded.total;
    if (!decoded.ok) return false;
    return total > room.size() || trailer_matches(stream, 2 + decoded.consumed, room.first(total));
}

}  // namespace

bool inflated_size_possible(std::span<const std::uint8_t> stream, std::size_t size) {
    return size / kMaxDeflateRatio <= stream.size();
}

bool inflate_zlib_into(std::span<const std::uint8_t> stream, std::span<std::uint8_t> out) {
    std::size_t total;
    return stream.size() >= 2 && valid_header(stream[0], stream[1]) && inflated_size_possible(stream, out.size()) &&
           inflate_stream(stream, out, out.size(), total) && total == out.size();
}

std::optional<InflatedBytes> inflate_zlib(std::span<const std::uint8_t> stream, std::size_t max_size) {
    if (stream.size() < 2 || !valid_header(stream[0], stream[1])) return std::nullopt;

    InflatedBytes room = first_room(stream.size(), max_size);
    std::size_t size;
    if (!inflate_stream(stream, room, max_size, size)) return std::nullopt;
    if (size <= room.size()) {
        room.resize(size);
        return room;
    }

    // Its size known now, the content gets room of exactly that size. Bytes too many for memory
    // can't be used; in practice that is a corrupt or hostile stream.
    InflatedBytes().swap(room);
    if (size > room.max_size() || !can_allocate(size)) return std::nullopt;
    room.resize(size);
    std::size_t again;
    if (!inflate_stream(stream, room, size, again) || again != size) return std::nullopt;
    return room;
}

}  // namespace plinth
