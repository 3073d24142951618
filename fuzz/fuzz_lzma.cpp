// The stub's LZMA streams on hostile input: the layout's bounds (read_lzma_pieces) and the LZMA
// SDK's decoder under them, which may neither read nor write outside the piece it is given.
// Where a piece decodes, liblzma's raw decoder must give the same bytes from it.
#include <lzma.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "compression/lzma_stream.h"
#include "package/lzma_payload.h"

namespace {

// A file no larger than this: enough for several pieces, small enough for many runs a second.
constexpr std::size_t kLimit = 1 << 20;

void check(bool condition) {
    if (!condition) std::abort();
}

// liblzma's bytes for one piece, or nothing when it refuses the piece or gives fewer bytes.
bool liblzma_decodes(const plinth::LzmaPieces& pieces, const plinth::LzmaPiece& piece, std::vector<std::uint8_t>& out) {
    lzma_options_lzma options{};
    const unsigned d = pieces.properties[0];
    options.lc = d % 9;
    options.lp = d / 9 % 5;
    options.pb = d / 45;
    std::uint32_t dictionary = 0;
    for (int i = 4; i >= 1; --i) dictionary = dictionary << 8 | pieces.properties[i];
    options.dict_size = dictionary < LZMA_DICT_SIZE_MIN ? LZMA_DICT_SIZE_MIN : dictionary;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&stream, filters) != LZMA_OK) return false;
    out.assign(piece.size, 0);
    stream.next_in = piece.packed.data();
    stream.avail_in = piece.packed.size();
    stream.next_out = out.data();
    stream.avail_out = out.size();
    lzma_ret ret = LZMA_OK;
    while (ret == LZMA_OK && stream.avail_out > 0 && stream.avail_in > 0) ret = lzma_code(&stream, LZMA_RUN);
    const bool full = stream.avail_out == 0 && (ret == LZMA_OK || ret == LZMA_STREAM_END);
    lzma_end(&stream);
    return full;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The magic is given: the fuzzer spends its time behind it.
    std::vector<std::uint8_t> stream(plinth::kLzmaMagic.begin(), plinth::kLzmaMagic.end());
    stream.insert(stream.end(), data, data + size);

    const auto pieces = plinth::read_lzma_pieces(stream, kLimit);
    const auto decoded = plinth::decode_lzma_payload(stream, kLimit);
    check(decoded.ok() == (pieces && [&] {
              std::vector<std::uint8_t> out(pieces->size);
              return plinth::decode_lzma_into(stream, out);
          }()));
    if (!pieces) return 0;
    check(pieces->size <= kLimit);
    // Each piece alone, into room of exactly its size: ASan sees any byte written past it.
    std::vector<std::uint8_t> ours, theirs;
    for (const plinth::LzmaPiece& piece : pieces->pieces) {
        const plinth::LzmaPieces one{pieces->properties, {{piece.packed, 0, piece.size}}, piece.size};
        ours.assign(piece.size, 0);
        plinth::LzmaDecoding decoding{one, ours};
        decoding.run();
        if (decoding.failed) continue;
        if (decoded) check(std::memcmp(decoded->data() + piece.offset, ours.data(), piece.size) == 0);
        if (liblzma_decodes(*pieces, piece, theirs)) check(ours == theirs);
    }
    return 0;
}
