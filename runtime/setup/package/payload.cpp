#include "package/payload.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include <zlib.h>

namespace plinth {
namespace {

constexpr std::size_t kInitialOutputSize = 64 * 1024;

class Inflater {
public:
    Inflater() { ready_ = inflateInit(&stream_) == Z_OK; }
    ~Inflater() {
        if (ready_) inflateEnd(&stream_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    bool ready() const { return ready_; }
    z_stream& stream() { return stream_; }

private:
    z_stream stream_{};
    bool ready_ = false;
};

Result<std::vector<std::uint8_t>> inflate_all(std::span<const std::uint8_t> payload) {
    const auto damaged = [] { return fail(std::string(kDamagedPayloadText)); };
    Inflater inflater;
    if (!inflater.ready()) return damaged();
    z_stream& stream = inflater.stream();

    std::vector<std::uint8_t> input(kInflateInputBufferSize);
    std::size_t consumed = 0;  // payload bytes moved into the input buffer so far
    std::vector<std::uint8_t> output;
    std::size_t produced = 0;

    for (;;) {
        if (stream.avail_in == 0 && consumed < payload.size()) {
            const std::size_t count = std::min(input.size(), payload.size() - consumed);
            std::memcpy(input.data(), payload.data() + consumed, count);
            consumed += count;
            stream.next_in = input.data();
            stream.avail_in = static_cast<uInt>(count);
        }
        if (produced == output.size()) {
            // Doubling keeps the number of rounds logarithmic in the exe's size.
            output.resize(std::max(kInitialOutputSize, output.size() * 2));
        }
        const std::size_t space = std::min<std::size_t>(output.size() - produced,
                                                        std::numeric_limits<uInt>::max());
        stream.next_out = output.data() + produced;
        stream.avail_out = static_cast<uInt>(space);
        const uInt input_before = stream.avail_in;

        const int status = inflate(&stream, Z_NO_FLUSH);
        const std::size_t written = space - stream.avail_out;
        produced += written;

        if (status == Z_STREAM_END) break;
        if (status != Z_OK && status != Z_BUF_ERROR) return damaged();  // data, dictionary, memory
        const bool progress = written > 0 || stream.avail_in != input_before;
        // Output space was there (it is grown before each round) and nothing moved: the payload
        // has run out before the end of the stream, or the inflater is stuck. Either way the
        // stream can't be completed, and looping again would never end.
        if (!progress) return damaged();
    }
    output.resize(produced);  // no reallocation: the exe isn't copied again
    return output;
}

}  // namespace

Result<std::vector<std::uint8_t>> inflate_payload(std::span<const std::uint8_t> payload) {
    try {
        return inflate_all(payload);
    } catch (const std::bad_alloc&) {
        // An exe too large for memory can't be installed; in practice a corrupt or hostile stream.
        return fail(std::string(kDamagedPayloadText));
    } catch (const std::length_error&) {
        return fail(std::string(kDamagedPayloadText));
    }
}

}  // namespace plinth
