#include "package/payload.h"

#include <new>

#include "compression/lzma_stream.h"
#include "failures/message_failure.h"
#include "package/lzma_payload.h"

namespace plinth {

struct FileInflater::State {
    std::unique_ptr<std::uint8_t[]> output;  // room for `capacity` bytes, left uninitialised
    std::size_t capacity = 0;
};

FileInflater::FileInflater() : state_(std::make_unique<State>()) {}
FileInflater::~FileInflater() = default;

Result<std::span<const std::uint8_t>> FileInflater::inflate(std::span<const std::uint8_t> stream, std::size_t size) {
    if (!stream_size_possible(stream, size)) return fail(Message::damaged_app);
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
    if (!(is_lzma_stream(stream) ? decode_lzma_into(stream, out) : inflate_zlib_into(stream, out))) {
        return fail(Message::damaged_app);
    }
    return success();
}

Result<InflatedBytes> inflate_payload(std::span<const std::uint8_t> payload, std::size_t max_size) {
    if (is_lzma_stream(payload)) return decode_lzma_payload(payload, max_size);
    auto inflated = inflate_zlib(payload, max_size);
    if (!inflated) return fail(Message::damaged_app);
    return std::move(*inflated);
}

}  // namespace plinth
