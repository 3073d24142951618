// Our deflate decoder against zlib's inflate on the same raw deflate data: the same verdict, the
// same bytes, the same end of the data, and the same Adler-32 of them.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "compression/deflate_decoder.h"

namespace {

constexpr std::size_t kLimit = 1 << 18;
// Kept between runs, not cleared: neither decoder may read what it didn't write.
std::uint8_t expected[kLimit];
std::uint8_t room[kLimit];

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks the room: all of the limit (0), or a small room that the data may
    // outgrow, so that what doesn't fit is only counted.
    const std::size_t room_size = data[0] == 0 ? kLimit : std::size_t{data[0]} * 61;
    const std::uint8_t* deflated = data + 1;
    const std::size_t deflated_size = size - 1;

    z_stream z{};
    check(inflateInit2(&z, -15) == Z_OK);
    z.next_in = const_cast<Bytef*>(deflated);
    z.avail_in = static_cast<uInt>(deflated_size);
    z.next_out = expected;
    z.avail_out = kLimit;
    const bool zlib_ok = inflate(&z, Z_FINISH) == Z_STREAM_END;
    const std::size_t zlib_size = z.total_out, zlib_consumed = z.total_in;
    inflateEnd(&z);

    const auto ours = plinth::decode_deflate({deflated, deflated_size}, {room, room_size}, kLimit);
    check(ours.ok == zlib_ok);
    if (!zlib_ok) return 0;
    check(ours.total == zlib_size);
    check(ours.consumed == zlib_consumed);
    if (ours.total <= room_size) {
        check(std::memcmp(room, expected, ours.total) == 0);
        check(plinth::adler32_of({room, ours.total}) ==
              adler32(adler32(0, nullptr, 0), expected, static_cast<uInt>(zlib_size)));
    }
    return 0;
}
