// LZMA, the opt-in compression: each file a stream of independent pieces
// (compression/lzma_stream.h), encoded with the LZMA SDK's encoder.
//
// The pieces are cut where the content says, as deflate's are, but larger: LZMA's gain grows with
// the bytes a piece can look back at (on 56 MB of PE code against zlib -9 per file: 0.84x in
// 64 KiB pieces, 0.78x in 256 KiB, 0.75x in 1 MiB), and an edit still costs only the piece or
// two around it. Each piece's dictionary is the piece itself.
#pragma once

#include "compressor.h"
#include "content_pieces.h"

namespace plinth::pack {

inline constexpr PieceSizes kLzmaPieces{512 * 1024, 512 * 1024, 2 * 1024 * 1024};

// The pieced LZMA stream of `data`; `pieces` as compress() gives them, the stream's header in the
// first (an empty file's stream is its header alone), checked by decoding it again with the
// stub's decoder and comparing. On hosts with threads the pieces are encoded on every core; the
// bytes are the same.
Result<PiecedStream> compress_lzma(ByteView data, const CompressionProgress& progress = {});

}  // namespace plinth::pack
