#include "compressor.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "content_pieces.h"
#include "lzma_compressor.h"
#include "compression/deflate_decoder.h"

#if PLINTH_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif
#if PLINTH_HAVE_ZOPFLI
#include <zopfli/deflate.h>
#include <zopfli/zopfli.h>
#endif

namespace plinth::pack {
namespace {

// Input handed to zlib per call, so that progress can be told; zlib's output doesn't depend on
// how its input is divided.
constexpr std::size_t kZlibChunk = 1 << 20;

Result<Bytes> compress_zlib(ByteView data, const CompressionProgress& progress) {
    // The packer refuses apps of 2 GiB and more before this.
    if (data.size() > std::numeric_limits<uInt>::max() / 2) return fail("The app is too large to compress.");
    z_stream stream{};
    // Level 9 with the largest window and memory level: zlib's smallest output.
    if (deflateInit2(&stream, 9, Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
        return fail("zlib could not start.");
    }
    Bytes out(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    int status = Z_OK;
    for (std::size_t offset = 0; status == Z_OK;) {
        const std::size_t chunk = std::min(kZlibChunk, data.size() - offset);
        offset += chunk;
        stream.avail_in = static_cast<uInt>(chunk);
        status = deflate(&stream, offset == data.size() ? Z_FINISH : Z_NO_FLUSH);
        if (progress) progress(offset - stream.avail_in);
        // The output buffer holds the bound of the whole stream, so each call takes its chunk.
        if (status == Z_OK && stream.avail_in != 0) status = Z_BUF_ERROR;
    }
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END) return fail("zlib could not compress the app.");
    // Not shrunk: a shrinking copy would hold the stream twice beside the input. The caller
    // keeps it only until it is stored.
    return out;
}

#if PLINTH_HAVE_LIBDEFLATE
Result<Bytes> compress_libdeflate(ByteView data) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(12);
    if (compressor == nullptr) return fail("libdeflate could not start.");
    Bytes out(libdeflate_zlib_compress_bound(compressor, data.size()));
    const std::size_t size = libdeflate_zlib_compress(compressor, data.data(), data.size(), out.data(), out.size());
    libdeflate_free_compressor(compressor);
    if (size == 0) return fail("libdeflate could not compress the app.");
    out.resize(size);  // not shrunk, as for zlib
    return out;
}
#endif

#if PLINTH_HAVE_ZOPFLI
Result<Bytes> compress_zopfli(ByteView data) {
    ZopfliOptions options;
    ZopfliInitOptions(&options);
    unsigned char* buffer = nullptr;
    std::size_t size = 0;
    ZopfliCompress(&options, ZOPFLI_FORMAT_ZLIB, data.data(), data.size(), &buffer, &size);
    if (buffer == nullptr) return fail("zopfli could not compress the app.");
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}
#endif

// The zlib header every compressor's stream starts with: deflate, a 32 KiB window, the
// "maximum compression" level hint.
constexpr std::uint8_t kZlibHeader[2] = {0x78, 0xda};
// A final block of the fixed code holding only its end code: the stream's last block.
constexpr std::uint8_t kFinalEmptyBlock[2] = {0x03, 0x00};

// Ends raw deflate data that ends at bit `end_bit` of `out` (its last block not final) on a byte
// boundary: an empty stored block, whose header is 3 bits and whose length fields start on the
// next byte, unless the data already ends there.
void align_with_stored_block(Bytes& out, std::size_t end_bit) {
    if (end_bit % 8 == 0) {
        out.resize(end_bit / 8);
        return;
    }
    out.resize((end_bit + 7) / 8);
    out.back() &= static_cast<std::uint8_t>((1u << (end_bit % 8)) - 1);  // the unused bits
    out.resize((end_bit + 3 + 7) / 8, 0);  // the stored block's header: three zero bits
    for (std::uint8_t b : {0x00, 0x00, 0xff, 0xff}) out.push_back(b);
}

// Deflates one piece as raw deflate data on its own, appended to `out`: blocks none of which is
// final, ending on a byte boundary.
class PieceDeflater {
public:
    virtual ~PieceDeflater() = default;
    virtual Status append(ByteView piece, Bytes& out) = 0;
};

// zlib's full flush does exactly that; a reset before each piece forgets the piece before.
class ZlibPieces final : public PieceDeflater {
public:
    ZlibPieces() { started_ = deflateInit2(&stream_, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) == Z_OK; }
    ~ZlibPieces() override {
        if (started_) deflateEnd(&stream_);
    }
    ZlibPieces(const ZlibPieces&) = delete;
    ZlibPieces& operator=(const ZlibPieces&) = delete;

    Status append(ByteView piece, Bytes& out) override {
        if (!started_ || deflateReset(&stream_) != Z_OK) return fail("zlib could not start.");
        const std::size_t at = out.size();
        // The bound, and room for the flush's empty stored block.
        out.resize(at + deflateBound(&stream_, static_cast<uLong>(piece.size())) + 16);
        stream_.next_in = const_cast<Bytef*>(piece.data());
        stream_.avail_in = static_cast<uInt>(piece.size());
        stream_.next_out = out.data() + at;
        stream_.avail_out = static_cast<uInt>(out.size() - at);
        const int status = deflate(&stream_, Z_FULL_FLUSH);
        const bool done = status == Z_OK && stream_.avail_in == 0 && stream_.avail_out != 0;
        out.resize(out.size() - stream_.avail_out);
        if (!done) return fail("zlib could not compress the app.");
        return success();
    }

private:
    z_stream stream_{};
    bool started_ = false;
};

#if PLINTH_HAVE_LIBDEFLATE
// libdeflate always ends its data with a final block: the walk of the blocks finds that block's
// header, whose final bit is cleared, and the data's last bit, after which it is aligned.
class LibdeflatePieces final : public PieceDeflater {
public:
    LibdeflatePieces() : compressor_(libdeflate_alloc_compressor(12)) {}
    ~LibdeflatePieces() override { libdeflate_free_compressor(compressor_); }
    LibdeflatePieces(const LibdeflatePieces&) = delete;
    LibdeflatePieces& operator=(const LibdeflatePieces&) = delete;

    Status append(ByteView piece, Bytes& out) override {
        if (compressor_ == nullptr) return fail("libdeflate could not start.");
        Bytes data(libdeflate_deflate_compress_bound(compressor_, piece.size()));
        const std::size_t size =
            libdeflate_deflate_compress(compressor_, piece.data(), piece.size(), data.data(), data.size());
        if (size == 0) return fail("libdeflate could not compress the app.");
        data.resize(size);
        scratch_.resize(piece.size());
        const DeflateDecoded walk = decode_deflate(data, scratch_, piece.size());
        if (!walk.ok || walk.total != piece.size()) return fail("libdeflate's data could not be read back.");
        data[walk.last_block_bit / 8] &= static_cast<std::uint8_t>(~(1u << (walk.last_block_bit % 8)));
        align_with_stored_block(data, walk.end_bit);
        out.insert(out.end(), data.begin(), data.end());
        return success();
    }

private:
    libdeflate_compressor* compressor_;
    Bytes scratch_;
};
#endif

#if PLINTH_HAVE_ZOPFLI
// zopfli writes blocks that aren't final when asked, and says where its last bit is.
class ZopfliPieces final : public PieceDeflater {
public:
    ZopfliPieces() { ZopfliInitOptions(&options_); }

    Status append(ByteView piece, Bytes& out) override {
        unsigned char bit = 0;  // the bits used of the last byte, 0 for all of them
        unsigned char* data = nullptr;
        std::size_t size = 0;
        ZopfliDeflatePart(&options_, 2, 0, piece.data(), 0, piece.size(), &bit, &data, &size);
        if (data == nullptr) return fail("zopfli could not compress the app.");
        std::unique_ptr<unsigned char, decltype(&std::free)> owned(data, &std::free);
        Bytes part(data, data + size);
        align_with_stored_block(part, bit == 0 ? size * 8 : (size - 1) * 8 + bit);
        out.insert(out.end(), part.begin(), part.end());
        return success();
    }

private:
    ZopfliOptions options_;
};
#endif

std::unique_ptr<PieceDeflater> piece_deflater(Compressor compressor) {
    switch (compressor) {
        case Compressor::zlib: return std::make_unique<ZlibPieces>();
#if PLINTH_HAVE_LIBDEFLATE
        case Compressor::libdeflate: return std::make_unique<LibdeflatePieces>();
#endif
#if PLINTH_HAVE_ZOPFLI
        case Compressor::zopfli: return std::make_unique<ZopfliPieces>();
#endif
        default: return nullptr;
    }
}

// Whether `stream` is one zlib stream that inflates to exactly `data`, nothing after it. zlib's
// inflater, as the runtime's, checks the Adler-32; its output is compared a piece at a time, so
// the check holds one piece rather than a second copy of the input.
bool inflates_to(ByteView stream, ByteView data) {
    if (stream.size() > std::numeric_limits<uInt>::max()) return false;
    z_stream inflater{};
    if (inflateInit(&inflater) != Z_OK) return false;
    Bytes piece(kZlibChunk);
    inflater.next_in = const_cast<Bytef*>(stream.data());
    inflater.avail_in = static_cast<uInt>(stream.size());
    std::size_t done = 0;
    int status = Z_OK;
    while (status == Z_OK) {
        inflater.next_out = piece.data();
        inflater.avail_out = static_cast<uInt>(piece.size());
        status = inflate(&inflater, Z_NO_FLUSH);
        const std::size_t made = piece.size() - inflater.avail_out;
        if (made > data.size() - done || (made != 0 && std::memcmp(piece.data(), data.data() + done, made) != 0)) {
            status = Z_DATA_ERROR;
        }
        done += made;
    }
    const bool whole = inflater.avail_in == 0;
    inflateEnd(&inflater);
    return status == Z_STREAM_END && whole && done == data.size();
}

}  // namespace

std::string_view compressor_name(Compressor compressor) {
    switch (compressor) {
        case Compressor::zlib: return "zlib";
        case Compressor::libdeflate: return "libdeflate";
        case Compressor::zopfli: return "zopfli";
        case Compressor::lzma: return "lzma";
    }
    return "zlib";
}

std::optional<Compressor> compressor_from_name(std::string_view name) {
    for (Compressor c : {Compressor::zlib, Compressor::libdeflate, Compressor::zopfli}) {
        if (compressor_name(c) == name) return c;
    }
    return std::nullopt;
}

std::vector<Compressor> available_compressors() {
    std::vector<Compressor> list{Compressor::zlib};
#if PLINTH_HAVE_LIBDEFLATE
    list.push_back(Compressor::libdeflate);
#endif
#if PLINTH_HAVE_ZOPFLI
    list.push_back(Compressor::zopfli);
#endif
    return list;
}

Compressor default_compressor() {
#if PLINTH_HAVE_LIBDEFLATE
    return Compressor::libdeflate;
#else
    return Compressor::zlib;
#endif
}

bool reports_progress(Compressor) { return true; }

Result<PiecedStream> compress(Compressor compressor, ByteView data, const CompressionProgress& progress) {
    // The packer refuses apps of 2 GiB and more before this; each piece's length is 32-bit.
    if (data.size() > std::numeric_limits<uInt>::max() / 2) return fail("The app is too large to compress.");
    if (compressor == Compressor::lzma) return compress_lzma(data, progress);
    auto deflater = piece_deflater(compressor);
    if (!deflater) return fail("The compressor " + std::string(compressor_name(compressor)) + " is not in this build.");
    PiecedStream stream;
    stream.bytes.assign(std::begin(kZlibHeader), std::end(kZlibHeader));
    std::uint32_t adler = adler32(0, nullptr, 0);
    std::size_t done = 0;
    for (const std::uint32_t length : content_pieces(data)) {
        const ByteView piece = data.subspan(done, length);
        const std::size_t before = stream.bytes.size();
        if (auto appended = deflater->append(piece, stream.bytes); !appended) return fail(appended.error().text);
        // The first piece holds the header too.
        stream.pieces.push_back(static_cast<std::uint32_t>(stream.bytes.size() - (done == 0 ? 0 : before)));
        adler = adler32(adler, piece.data(), length);
        done += length;
        if (progress) progress(done);
    }
    if (stream.pieces.empty()) stream.pieces.push_back(static_cast<std::uint32_t>(stream.bytes.size()));
    const std::size_t before = stream.bytes.size();
    stream.bytes.insert(stream.bytes.end(), std::begin(kFinalEmptyBlock), std::end(kFinalEmptyBlock));
    for (int shift = 24; shift >= 0; shift -= 8) stream.bytes.push_back(static_cast<std::uint8_t>(adler >> shift));
    stream.pieces.push_back(static_cast<std::uint32_t>(stream.bytes.size() - before));
    if (progress) progress(data.size());
    // zlib, which the runtime inflates with, must give the app back, byte for byte.
    if (!inflates_to(stream.bytes, data)) {
        return fail("The " + std::string(compressor_name(compressor)) +
                    " stream did not inflate back to the app; nothing was written.");
    }
    return stream;
}

Result<Bytes> compress_whole(Compressor compressor, ByteView data, const CompressionProgress& progress) {
    Result<Bytes> stream = fail("The compressor " + std::string(compressor_name(compressor)) + " is not in this build.");
    switch (compressor) {
        case Compressor::zlib: stream = compress_zlib(data, progress); break;
#if PLINTH_HAVE_LIBDEFLATE
        case Compressor::libdeflate: stream = compress_libdeflate(data); break;
#endif
#if PLINTH_HAVE_ZOPFLI
        case Compressor::zopfli: stream = compress_zopfli(data); break;
#endif
        default: break;
    }
    if (!stream) return stream;
    if (progress) progress(data.size());
    // zlib, which the runtime inflates with, must give the app back, byte for byte.
    if (!inflates_to(*stream, data)) {
        return fail("The " + std::string(compressor_name(compressor)) +
                    " stream did not inflate back to the app; nothing was written.");
    }
    return stream;
}

}  // namespace plinth::pack
