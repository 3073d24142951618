#include "lzma_compressor.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <limits>

#ifndef _WIN32
#include <mutex>
#include <thread>
#endif

#include "compression/lzma_stream.h"
#include "lzma_sdk_encoder.h"

namespace plinth::pack {
namespace {

// A piece's dictionary: its size rounded up to a power of two (the decoder's check of distances
// needs no more), never above the largest piece.
unsigned dictionary_for(std::size_t size) {
    return static_cast<unsigned>(std::max<std::size_t>(std::bit_ceil(size), 4096));
}
static_assert(std::bit_ceil(kLzmaPieces.maximum) <= kMaxLzmaDictionary);

struct EncodedPiece {
    Bytes bytes;
    std::array<std::uint8_t, kLzmaPropertiesSize> properties{};
    bool ok = false;
};

EncodedPiece encode(ByteView piece, unsigned dictionary) {
    EncodedPiece out;
    // LZMA grows incompressible data by about 1.5 %; room for more.
    std::size_t size = piece.size() + piece.size() / 16 + 4096;
    out.bytes.resize(size);
    out.ok = plinth_lzma_encode(out.bytes.data(), &size, piece.data(), piece.size(), dictionary, out.properties.data());
    out.bytes.resize(out.ok ? size : 0);
    return out;
}

}  // namespace

Result<PiecedStream> compress_lzma(ByteView data, const CompressionProgress& progress) {
    if (data.size() > std::numeric_limits<std::uint32_t>::max() / 2) return fail("The app is too large to compress.");
    const std::vector<std::uint32_t> lengths = content_pieces(data, kLzmaPieces);
    std::vector<std::size_t> starts;
    std::size_t largest = 0;
    for (std::size_t at = 0; const std::uint32_t length : lengths) {
        starts.push_back(at);
        at += length;
        largest = std::max<std::size_t>(largest, length);
    }
    // Every piece declares the same properties: one dictionary for all, the largest piece's.
    const unsigned dictionary = dictionary_for(largest);
    std::vector<EncodedPiece> encoded(lengths.size());
    std::atomic<std::size_t> next{0};
    std::atomic<std::uint64_t> done{0};
    const auto work = [&](bool tells) {
        for (std::size_t i; (i = next.fetch_add(1)) < lengths.size();) {
            encoded[i] = encode(data.subspan(starts[i], lengths[i]), dictionary);
            const std::uint64_t now = done += lengths[i];
            if (tells && progress) progress(now);
        }
    };
#ifdef _WIN32
    work(true);
#else
    // The progress callback is told from this thread only, as compress() promises.
    std::vector<std::thread> helpers;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned t = 1; t < cores && t < lengths.size(); ++t) helpers.emplace_back(work, false);
    work(true);
    for (std::thread& helper : helpers) helper.join();
#endif

    PiecedStream stream;
    stream.bytes.assign(kLzmaMagic.begin(), kLzmaMagic.end());
    const auto properties = encoded.empty() ? encode({}, dictionary).properties : encoded.front().properties;
    stream.bytes.insert(stream.bytes.end(), properties.begin(), properties.end());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (!encoded[i].ok || encoded[i].properties != properties) return fail("The LZMA encoder could not compress the app.");
        const std::size_t before = stream.bytes.size();
        append_u32(stream.bytes, static_cast<std::uint32_t>(encoded[i].bytes.size()));
        append_u32(stream.bytes, lengths[i]);
        stream.bytes.insert(stream.bytes.end(), encoded[i].bytes.begin(), encoded[i].bytes.end());
        Bytes().swap(encoded[i].bytes);
        // The first piece holds the header too.
        stream.pieces.push_back(static_cast<std::uint32_t>(stream.bytes.size() - (i == 0 ? 0 : before)));
    }
    if (stream.pieces.empty()) stream.pieces.push_back(static_cast<std::uint32_t>(stream.bytes.size()));
    if (progress) progress(data.size());
    // The stub's decoder must give the app back, byte for byte.
    Bytes back(data.size());
    if (!decode_lzma_into(stream.bytes, back) || !std::equal(back.begin(), back.end(), data.begin(), data.end())) {
        return fail("The LZMA stream did not decode back to the app; nothing was written.");
    }
    return stream;
}

}  // namespace plinth::pack
