// Compressors that turn the app into the package's zlib stream.
//
// zlib is always built in; libdeflate and zopfli when they were found at build time. All of
// them write a standard zlib stream (RFC 1950), so the runtime inflates any of them with zlib.
//
// A file's stream is made of pieces: its bytes are cut where their content says
// (content_pieces.h) and each piece is deflated on its own, with no reference to the bytes
// before it, ending on a byte boundary in a block that isn't the last. The same piece of a file
// thus gives the same compressed bytes in every release, which an update fetches only once.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "byte_io.h"
#include "common/result.h"

namespace plinth::pack {

// lzma is not deflate: its streams are LZMA's (lzma_compressor.h), which only stubs that know
// them read. It is chosen with --compression, never by default, and isn't among the deflate
// compressors that --compressor names and available_compressors() lists.
enum class Compressor { zlib, libdeflate, zopfli, lzma };

std::string_view compressor_name(Compressor compressor);
std::optional<Compressor> compressor_from_name(std::string_view name);

// The compressors this build has, in the order of the list shown to users.
std::vector<Compressor> available_compressors();

// The smallest practical one this build has: libdeflate when present, else zlib.
Compressor default_compressor();

// Told how many input bytes are compressed so far.
using CompressionProgress = std::function<void(std::uint64_t done)>;

// Whether the compressor tells its progress while it works (each does now, a piece at a time).
bool reports_progress(Compressor compressor);

// A zlib stream and the lengths of its pieces, in order, summing to the stream's size: the first
// holds the 2-byte zlib header and the first piece of data, the last is the stream's end alone
// (a final empty block and the Adler-32). No data gives the header and the end.
struct PiecedStream {
    Bytes bytes;
    std::vector<std::uint32_t> pieces;
};

// The pieced zlib stream of `data`, checked by inflating it again with zlib and comparing.
// `progress`, when given, is called from this thread as the pieces are made.
Result<PiecedStream> compress(Compressor compressor, ByteView data, const CompressionProgress& progress = {});

// The zlib stream of `data` in one piece, as earlier packers wrote every stream, checked the same
// way: for small tables that no update fetches apart, and the bench's measure of what pieces cost.
Result<Bytes> compress_whole(Compressor compressor, ByteView data, const CompressionProgress& progress = {});

}  // namespace plinth::pack
