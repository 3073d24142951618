#include "package/payload.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include <zlib.h>

namespace plinth {
namespace {

constexpr std::size_t kInitialOutputSize = 64 * 1024;
// Executables deflate to between a half and a quarter of their size. Room for four times the
// compressed bytes is reserved before inflating, so that the output is normally never moved or
// copied while it grows; an app that deflates better than that makes the vector reallocate,
// doubling its capacity each time. On Windows operator new commits what it reserves: the room
// counts against the system's commit limit at once, although its pages become resident only when
// written. So neither the reservation nor any growth goes past the largest size allowed.
constexpr std::size_t kReserveFactor = 4;
// The deflate data is inflated with zlib's inflateBack (raw deflate into a window of ours, no
// gzip support linked in); the zlib header and the Adler-32 trailer around it are checked here.
constexpr int kWindowBits = 15;
constexpr std::size_t kWindowSize = std::size_t{1} << kWindowBits;
constexpr std::uint8_t kMethodDeflate = 8;
constexpr std::uint8_t kPresetDictionaryFlag = 0x20;

void reserve_for(std::vector<std::uint8_t>& output, std::size_t compressed_size, std::size_t max_size) {
    const std::size_t limit = output.max_size() / kReserveFactor;
    const std::size_t wanted =
        std::min(max_size, std::max(kInitialOutputSize, std::min(compressed_size, limit) * kReserveFactor));
    try {
        output.reserve(wanted);
    } catch (const std::exception&) {
        // Without the reservation the output still grows by doubling; only slower.
    }
}

// The RFC 1950 header: deflate, a window of at most 32 KiB, a valid check value and no preset
// dictionary (the installer has none to give).
bool valid_header(std::uint8_t cmf, std::uint8_t flg) {
    if ((cmf & 0x0F) != kMethodDeflate || (cmf >> 4) + 8 > kWindowBits) return false;
    if (((unsigned{cmf} << 8) | flg) % 31 != 0) return false;
    return (flg & kPresetDictionaryFlag) == 0;
}

// Hands the payload after the header to the inflater, a buffer at a time.
struct Source {
    std::span<const std::uint8_t> payload;
    std::size_t consumed = 0;  // payload bytes moved into the buffer so far
    std::vector<std::uint8_t> buffer;

    static unsigned pull(void* context, z_const unsigned char** next) {
        auto& self = *static_cast<Source*>(context);
        const std::size_t count = std::min(self.buffer.size(), self.payload.size() - self.consumed);
        std::memcpy(self.buffer.data(), self.payload.data() + self.consumed, count);
        self.consumed += count;
        *next = self.buffer.data();
        return static_cast<unsigned>(count);  // 0 at the end: the stream is truncated
    }
};

// Collects what the inflater writes and its checksum, up to `max_size` bytes.
struct Sink {
    std::size_t max_size;
    std::vector<std::uint8_t> output;
    uLong adler = adler32(0, nullptr, 0);
    bool stopped = false;  // too large, or no memory left

    static int push(void* context, unsigned char* bytes, unsigned count) {
        auto& self = *static_cast<Sink*>(context);
        // More than the packer ever puts in: a hostile stream (a few MB of deflate data can
        // inflate to many GiB). Stop before growing anything.
        if (count > self.max_size - self.output.size()) {
            self.stopped = true;
            return 1;
        }
        try {
            if (count > self.output.capacity() - self.output.size()) {
                // Doubling, but never past the largest size allowed (the one case that copies
                // what was inflated).
                const std::size_t capacity = self.output.capacity();
                const std::size_t grown = capacity > self.max_size / 2 ? self.max_size : capacity * 2;
                self.output.reserve(std::max(grown, self.output.size() + count));
            }
            self.output.insert(self.output.end(), bytes, bytes + count);
        } catch (const std::exception&) {
            // No exception may pass through zlib: stop it, and report the failure after.
            self.stopped = true;
            return 1;
        }
        self.adler = adler32(self.adler, bytes, count);
        return 0;
    }
};

class BackInflater {
public:
    BackInflater() : window_(kWindowSize) {
        ready_ = inflateBackInit(&stream_, kWindowBits, window_.data()) == Z_OK;
    }
    ~BackInflater() {
        if (ready_) inflateBackEnd(&stream_);
    }
    BackInflater(const BackInflater&) = delete;
    BackInflater& operator=(const BackInflater&) = delete;

    bool ready() const { return ready_; }
    z_stream& stream() { return stream_; }

private:
    std::vector<unsigned char> window_;
    z_stream stream_{};
    bool ready_ = false;
};

Result<std::vector<std::uint8_t>> inflate_all(std::span<const std::uint8_t> payload, std::size_t max_size) {
    const auto damaged = [] { return fail(std::string(kDamagedPayloadText)); };
    if (payload.size() < 2 || !valid_header(payload[0], payload[1])) return damaged();

    BackInflater inflater;
    if (!inflater.ready()) return damaged();
    z_stream& stream = inflater.stream();
    stream.next_in = Z_NULL;  // the first bytes come from pull()
    stream.avail_in = 0;

    Source source{payload, 2, std::vector<std::uint8_t>(kInflateInputBufferSize)};
    Sink sink{max_size};
    reserve_for(sink.output, payload.size(), max_size);
    const int status = inflateBack(&stream, &Source::pull, &source, &Sink::push, &sink);
    // Anything but the end of the deflate data: corrupt or truncated data, too much of it, or no
    // memory left.
    if (status != Z_STREAM_END || sink.stopped) return damaged();

    // The Adler-32 of the content follows the deflate data, most significant byte first.
    const std::size_t trailer = source.consumed - stream.avail_in;
    if (payload.size() - trailer < 4) return damaged();
    std::uint32_t expected = 0;
    for (std::size_t i = 0; i < 4; ++i) expected = (expected << 8) | payload[trailer + i];
    if (expected != sink.adler) return damaged();
    return std::move(sink.output);
}

}  // namespace

Result<std::vector<std::uint8_t>> inflate_payload(std::span<const std::uint8_t> payload, std::size_t max_size) {
    try {
        return inflate_all(payload, max_size);
    } catch (const std::bad_alloc&) {
        // An exe too large for memory can't be installed; in practice a corrupt or hostile stream.
        return fail(std::string(kDamagedPayloadText));
    } catch (const std::length_error&) {
        return fail(std::string(kDamagedPayloadText));
    }
}

}  // namespace plinth
