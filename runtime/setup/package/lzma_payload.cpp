#include "package/lzma_payload.h"

#include <new>

#include "compression/lzma_stream.h"
#include "failures/message_failure.h"

namespace plinth {

Result<InflatedBytes> decode_lzma_payload(std::span<const std::uint8_t> payload, std::size_t max_size,
                                          platform::Session* session) {
    const auto pieces = read_lzma_pieces(payload, max_size);
    if (!pieces) return fail(Message::damaged_app);
    // Asked without failing: the stub's operator new ends the process when memory runs out, and
    // a size no memory can hold is damage.
    void* probe = ::operator new(pieces->size, std::nothrow);
    if (!probe) return fail(Message::damaged_app);
    ::operator delete(probe);
    InflatedBytes app(pieces->size);
    LzmaDecoding decoding{*pieces, app};
    {
        // The worker, when there is one, is waited for as it goes.
        std::unique_ptr<platform::Worker> worker;
        if (session && pieces->pieces.size() > 1) worker = session->start_worker(&LzmaDecoding::run_on, &decoding);
        decoding.run();
    }
    if (decoding.failed) return fail(Message::damaged_app);
    return app;
}

bool stream_size_possible(std::span<const std::uint8_t> stream, std::size_t size) {
    if (!is_lzma_stream(stream)) return inflated_size_possible(stream, size);
    const auto pieces = read_lzma_pieces(stream, size);
    return pieces && pieces->size == size;
}

}  // namespace plinth
