#include "compressor.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#if PLINTH_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif
#if PLINTH_HAVE_ZOPFLI
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

bool reports_progress(Compressor compressor) { return compressor == Compressor::zlib; }

Result<Bytes> compress(Compressor compressor, ByteView data, const CompressionProgress& progress) {
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
