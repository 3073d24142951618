#include "package/payload.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include <zlib.h>

#include "failures/message_failure.h"

namespace plinth {
namespace {

constexpr std::size_t kInitialOutputSize = 64 * 1024;
// Executables deflate to between a half and a quarter of their size. Room for four times the
// compressed bytes is reserved before inflating, and the output is written into it, never moved.
// An app that deflates better than that is inflated a second time into room of its exact size,
// once the first pass has counted it: a vector that doubled its capacity instead would copy what
// was inflated and hold up to twice the app's size, and a small hostile stream would make it take
// gigabytes before its size is known. On Windows operator new commits what it reserves (the room
// counts against the system's commit limit at once, although its pages become resident only when
// written), so the first room is never larger than the largest size allowed either.
constexpr std::size_t kReserveFactor = 4;
// The deflate data is inflated with zlib's inflateBack (raw deflate into a window of ours, no
// gzip support linked in); the zlib header and the Adler-32 trailer around it are checked here.
constexpr int kWindowBits = 15;
constexpr std::size_t kWindowSize = std::size_t{1} << kWindowBits;
constexpr std::uint8_t kMethodDeflate = 8;
constexpr std::uint8_t kPresetDictionaryFlag = 0x20;

// Whether `size` bytes can be had now. Asked without failing, so that room the system can't
// give is done without, or refused with the damaged text, rather than ending the process: the
// installer is built without exceptions, and its operator new ends it when memory runs out.
bool can_allocate(std::size_t size) {
    void* probe = ::operator new(size, std::nothrow);
    if (probe == nullptr) return false;
    ::operator delete(probe);
    return true;
}

std::vector<std::uint8_t> first_room(std::size_t compressed_size, std::size_t max_size) {
    std::vector<std::uint8_t> room;
    const std::size_t limit = room.max_size() / kReserveFactor;
    const std::size_t wanted = std::min(
        {max_size, room.max_size(), std::max(kInitialOutputSize, std::min(compressed_size, limit) * kReserveFactor)});
    // Without it the first pass only counts, and the second reserves what the app needs.
    if (can_allocate(wanted)) room.reserve(wanted);
    return room;
}

// The RFC 1950 header: deflate, a window of at most 32 KiB, a valid check value and no preset
// dictionary (the installer has none to give).
bool valid_header(std::uint8_t cmf, std::uint8_t flg) {
    if ((cmf & 0x0F) != kMethodDeflate || (cmf >> 4) + 8 > kWindowBits) return false;
    if (((unsigned{cmf} << 8) | flg) % 31 != 0) return false;
    return (flg & kPresetDictionaryFlag) == 0;
}

// Whether the Adler-32 that follows the deflate data at `at` (most significant byte first) is
// the content's.
bool trailer_matches(std::span<const std::uint8_t> stream, std::size_t at, uLong adler) {
    if (stream.size() - at < 4) return false;
    std::uint32_t expected = 0;
    for (std::size_t i = 0; i < 4; ++i) expected = (expected << 8) | stream[at + i];
    return expected == adler;
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

// Keeps what the inflater writes while it fits the room reserved beforehand, with its checksum;
// past the room it only counts, and past `max_size` it stops the inflater.
struct Sink {
    std::size_t max_size;
    std::vector<std::uint8_t> output;  // reserved beforehand; never grows
    std::size_t total = 0;             // bytes inflated, kept or only counted
    bool counting = false;             // the room was too small: the rest was only counted
    bool too_large = false;
    uLong adler = adler32(0, nullptr, 0);

    static int push(void* context, unsigned char* bytes, unsigned count) {
        auto& self = *static_cast<Sink*>(context);
        // More than the packer ever puts in: a hostile stream (a few MB of deflate data can
        // inflate to many GiB). Stop at once.
        if (count > self.max_size - self.total) {
            self.too_large = true;
            return 1;
        }
        self.total += count;
        if (!self.counting && count <= self.output.capacity() - self.output.size()) {
            self.output.insert(self.output.end(), bytes, bytes + count);  // within the capacity
            self.adler = adler32(self.adler, bytes, count);
        } else {
            self.counting = true;
        }
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

// One pass over the deflate data after the header, into `room`. Nothing when the data is corrupt
// or truncated or inflates to more than `max_size` bytes, or when the content kept doesn't match
// the Adler-32 trailer; a sink that only counted past its room has had no checksum checked.
std::optional<Sink> inflate_pass(std::span<const std::uint8_t> payload, std::vector<std::uint8_t> room,
                                 std::size_t max_size) {
    BackInflater inflater;
    if (!inflater.ready()) return std::nullopt;
    z_stream& stream = inflater.stream();
    stream.next_in = Z_NULL;  // the first bytes come from pull()
    stream.avail_in = 0;

    Source source{payload, 2, std::vector<std::uint8_t>(kInflateInputBufferSize)};
    Sink sink{max_size, std::move(room)};
    const int status = inflateBack(&stream, &Source::pull, &source, &Sink::push, &sink);
    // Anything but the end of the deflate data: corrupt or truncated data, or too much of it.
    if (status != Z_STREAM_END || sink.too_large) return std::nullopt;
    if (sink.counting) return sink;

    if (!trailer_matches(payload, source.consumed - stream.avail_in, sink.adler)) return std::nullopt;
    return sink;
}

// Deflate makes at most 1032 bytes of one: a run of 258 bytes in two bits.
constexpr std::size_t kMaxDeflateRatio = 1032;

// Copies what the inflater writes into room of the file's exact size, with its checksum.
struct ExactSink {
    std::span<std::uint8_t> room;
    std::size_t filled = 0;
    bool overflow = false;
    uLong adler = adler32(0, nullptr, 0);

    static int push(void* context, unsigned char* bytes, unsigned count) {
        auto& self = *static_cast<ExactSink*>(context);
        if (count > self.room.size() - self.filled) {
            self.overflow = true;
            return 1;
        }
        std::memcpy(self.room.data() + self.filled, bytes, count);
        self.filled += count;
        self.adler = adler32(self.adler, bytes, count);
        return 0;
    }
};

// The whole stream is handed over at once; asked again, there is no more.
unsigned no_more_input(void*, z_const unsigned char**) { return 0; }

}  // namespace

struct FileInflater::State {
    BackInflater inflater;  // reused: each inflateBack call starts afresh
    std::unique_ptr<std::uint8_t[]> output;  // room for `capacity` bytes, left uninitialised
    std::size_t capacity = 0;
};

FileInflater::FileInflater() : state_(std::make_unique<State>()) {}
FileInflater::~FileInflater() = default;

bool inflated_size_possible(std::span<const std::uint8_t> stream, std::size_t size) {
    return size / kMaxDeflateRatio <= stream.size();
}

Result<std::span<const std::uint8_t>> FileInflater::inflate(std::span<const std::uint8_t> stream, std::size_t size) {
    if (!inflated_size_possible(stream, size)) return fail(Message::damaged_app);
    if (size > state_->capacity) {
        // Exactly the size: growing a vector would round it up to twice what it held. The old
        // room goes first, so that both are never held at once.
        state_->output.reset();
        state_->capacity = 0;
        state_->output.reset(new (std::nothrow) std::uint8_t[size]);
        if (!state_->output) return fail(Message::damaged_app);
        state_->capacity = size;
    }
    const std::span<std::uint8_t> room(state_->output.get(), size);
    if (auto inflated = inflate_into(stream, room); !inflated) return unexpected(std::move(inflated.error()));
    return std::span<const std::uint8_t>(room);
}

Status FileInflater::inflate_into(std::span<const std::uint8_t> stream, std::span<std::uint8_t> out) {
    const auto damaged = [] { return fail(Message::damaged_app); };
    if (stream.size() < 2 || !valid_header(stream[0], stream[1]) || !inflated_size_possible(stream, out.size()) ||
        !state_->inflater.ready()) {
        return damaged();
    }
    z_stream& z = state_->inflater.stream();
    // zlib only reads through next_in; the const is dropped because its type lacks it.
    z.next_in = const_cast<unsigned char*>(stream.data() + 2);
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(stream.size() - 2, 0xffffffffu));
    ExactSink sink{out};
    const int status = inflateBack(&z, &no_more_input, nullptr, &ExactSink::push, &sink);
    if (status != Z_STREAM_END || sink.overflow || sink.filled != out.size()) return damaged();
    if (!trailer_matches(stream, static_cast<std::size_t>(z.next_in - stream.data()), sink.adler)) return damaged();
    return success();
}

Result<std::vector<std::uint8_t>> inflate_payload(std::span<const std::uint8_t> payload, std::size_t max_size) {
    const auto damaged = [] { return fail(Message::damaged_app); };
    if (payload.size() < 2 || !valid_header(payload[0], payload[1])) return damaged();

    auto first = inflate_pass(payload, first_room(payload.size(), max_size), max_size);
    if (!first) return damaged();
    if (!first->counting) return std::move(first->output);

    // Its size known now, the app gets room of exactly that size. An exe too large for memory
    // can't be installed; in practice that is a corrupt or hostile stream.
    const std::size_t size = first->total;
    first.reset();
    std::vector<std::uint8_t> room;
    if (size > room.max_size() || !can_allocate(size)) return damaged();
    room.reserve(size);
    auto second = inflate_pass(payload, std::move(room), size);
    if (!second || second->counting) return damaged();
    return std::move(second->output);
}

}  // namespace plinth
