#include "package/deflate_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace plinth {
namespace {

static_assert(std::endian::native == std::endian::little, "the bit buffer loads 8 input bytes as one word");

// A decoding table entry. Bits 0-3: the bits its code takes (in a subtable, those after the
// root's); bits 4-7: the extra bits that follow a length or distance code, or a subtable's index
// bits; bits 16-31: the literal byte, the length or distance base, or where the subtable starts.
// Neither flag set: a length or a distance.
constexpr std::uint32_t kLiteral = 0x100;
constexpr std::uint32_t kSubtable = 0x200;
constexpr std::uint32_t kEndOfBlock = 0x400;
constexpr std::uint32_t kInvalid = 0x800;

// Most literal/length codes are found with one look-up of 11 bits, every distance code of up to
// 8 bits; longer codes take a second look-up in a subtable. The sizes are the most that any
// complete code of 288 (32) symbols up to 15 bits long needs with those roots.
constexpr unsigned kLiteralRootBits = 11;
constexpr unsigned kDistanceRootBits = 8;
constexpr unsigned kCodeLengthBits = 7;  // code length codes are at most 7 bits: one level
constexpr std::size_t kLiteralTableSize = 2342;
constexpr std::size_t kDistanceTableSize = 402;
constexpr unsigned kMaxCodeBits = 15;

enum class Alphabet { literal, distance, code_length };

constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                             33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                             1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
// The order in which a dynamic block gives the code length code's lengths.
constexpr std::uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

std::uint32_t entry_for(Alphabet alphabet, unsigned symbol) {
    if (alphabet == Alphabet::code_length) return symbol << 16;
    if (alphabet == Alphabet::distance) {
        if (symbol >= 30) return kInvalid;  // 30 and 31 exist only in the fixed code, unused
        const unsigned extra = symbol < 4 ? 0 : symbol / 2 - 1;
        return std::uint32_t{kDistanceBase[symbol]} << 16 | extra << 4;
    }
    if (symbol < 256) return kLiteral | symbol << 16;
    if (symbol == 256) return kEndOfBlock;
    if (symbol >= 286) return kInvalid;  // 286 and 287 likewise
    return std::uint32_t{kLengthBase[symbol - 257]} << 16 | unsigned{kLengthExtra[symbol - 257]} << 4;
}

// The decoding table of the canonical code with these lengths (0: the symbol is unused), or false
// for lengths that make no code: over-subscribed, or incomplete other than by a single one-bit
// code or no code at all (not even those for the code length code), whose missing codes decode
// as invalid. Once per block, not per byte: `cold` has it built for size, in a file built for speed.
[[gnu::cold]] bool build_table(std::uint32_t* table, std::size_t capacity, unsigned root,
                               const std::uint8_t* lengths, unsigned symbols, Alphabet alphabet) {
    unsigned count[kMaxCodeBits + 1] = {};
    for (unsigned s = 0; s < symbols; ++s) ++count[lengths[s]];
    count[0] = 0;
    int left = 1;
    unsigned longest = 0;
    for (unsigned bits = 1; bits <= kMaxCodeBits; ++bits) {
        left = left * 2 - static_cast<int>(count[bits]);
        if (left < 0) return false;
        if (count[bits] != 0) longest = bits;
    }
    const unsigned root_size = 1u << root;
    if (left > 0) {
        if (alphabet == Alphabet::code_length || longest > 1) return false;
        for (unsigned i = 0; i < root_size; ++i) table[i] = kInvalid;
    }

    // The symbols by code length, then by value: the order of their canonical codes.
    std::uint16_t sorted[288];
    unsigned offset[kMaxCodeBits + 2];
    unsigned next_code[kMaxCodeBits + 1];
    offset[1] = 0;
    unsigned code = 0;
    for (unsigned bits = 1; bits <= kMaxCodeBits; ++bits) {
        offset[bits + 1] = offset[bits] + count[bits];
        code = (code + count[bits - 1]) << 1;
        next_code[bits] = code;
    }
    for (unsigned s = 0; s < symbols; ++s) {
        if (lengths[s] != 0) sorted[offset[lengths[s]]++] = static_cast<std::uint16_t>(s);
    }
    const unsigned coded = offset[kMaxCodeBits];  // offset[bits] now ends the codes of `bits` bits

    std::size_t used = root_size;
    unsigned subtable_prefix = root_size;  // none yet
    unsigned subtable_start = 0, subtable_bits = 0;
    for (unsigned i = 0; i < coded; ++i) {
        const unsigned symbol = sorted[i];
        const unsigned bits = lengths[symbol];
        // Deflate sends codes from their most significant bit; the table is indexed by the bits
        // as they arrive.
        unsigned reversed = 0;
        for (unsigned c = next_code[bits]++, b = 0; b < bits; ++b, c >>= 1) reversed = reversed << 1 | (c & 1);
        std::uint32_t entry = entry_for(alphabet, symbol);
        if (bits <= root) {
            entry |= bits;
            for (unsigned index = reversed; index < root_size; index += 1u << bits) table[index] = entry;
        } else {
            const unsigned prefix = reversed & (root_size - 1);
            if (prefix != subtable_prefix) {
                // A subtable for the codes that start with this prefix: as many index bits as the
                // longest of them needs beyond the root.
                subtable_prefix = prefix;
                subtable_bits = bits - root;
                int room = 1 << subtable_bits;
                while (subtable_bits + root < longest) {
                    room -= static_cast<int>(count[subtable_bits + root]);
                    if (room <= 0) break;
                    ++subtable_bits;
                    room <<= 1;
                }
                subtable_start = static_cast<unsigned>(used);
                used += std::size_t{1} << subtable_bits;
                if (used > capacity) return false;  // the sizes above make this impossible
                table[prefix] = kSubtable | subtable_start << 16 | subtable_bits << 4;
            }
            entry |= bits - root;
            for (unsigned index = reversed >> root; index < (1u << subtable_bits); index += 1u << (bits - root)) {
                table[subtable_start + index] = entry;
            }
        }
        --count[bits];  // what is left of each length, for the next subtable's size
    }
    return true;
}

struct Decoder {
    const std::uint8_t* in;
    const std::uint8_t* in_end;
    std::uint8_t* out_start;
    std::uint8_t* out;
    std::uint8_t* out_end;  // the end of what may be kept: out itself once counting began
    std::size_t limit;
    std::size_t counted = 0;
    std::uint64_t bits = 0;  // the next input bits, the first in the lowest bit
    unsigned bit_count = 0;
    unsigned past_end = 0;  // zero bytes put into `bits` after the input's end

    // At least 56 bits in the buffer. False once a bit from beyond the input's end was used.
    [[gnu::always_inline]] bool refill() {
        if (in_end - in >= 8) {
            std::uint64_t word;
            std::memcpy(&word, in, 8);
            bits |= word << bit_count;
            in += (63 - bit_count) >> 3;
            bit_count |= 56;
            return true;
        }
        if (past_end * 8 > bit_count) return false;
        while (bit_count <= 56) {
            if (in < in_end) {
                bits |= std::uint64_t{*in++} << bit_count;
            } else {
                ++past_end;
            }
            bit_count += 8;
        }
        return true;
    }

    [[gnu::always_inline]] unsigned take(unsigned n) {
        const unsigned value = static_cast<unsigned>(bits & ((std::uint64_t{1} << n) - 1));
        bits >>= n;
        bit_count -= n;
        return value;
    }

    [[gnu::always_inline]] std::uint32_t decode(const std::uint32_t* table, unsigned root) {
        std::uint32_t entry = table[bits & ((1u << root) - 1)];
        if (entry & kSubtable) {
            take(root);
            entry = table[(entry >> 16) + (bits & ((1u << ((entry >> 4) & 15)) - 1))];
        }
        take(entry & 15);
        return entry;
    }

    std::size_t total() const { return static_cast<std::size_t>(out - out_start) + counted; }

    // The bits used so far, from the input's start.
    std::size_t bit_position(const std::uint8_t* start) const {
        return (static_cast<std::size_t>(in - start) + past_end) * 8 - bit_count;
    }

    // `n` bytes that don't fit the output: only counted, and from now on nothing more is kept.
    // False past the limit.
    bool count_only(std::size_t n) {
        if (n > limit - total()) return false;
        out_end = out;
        counted += n;
        return true;
    }

    [[gnu::cold]] bool stored_block() {
        take(bit_count & 7);
        const unsigned length = take(16);
        if (length != (take(16) ^ 0xffff)) return false;
        if (past_end * 8 > bit_count) return false;
        in -= bit_count / 8 - past_end;  // the whole bytes still in the buffer
        bits = 0;
        bit_count = 0;
        past_end = 0;
        if (static_cast<std::size_t>(in_end - in) < length) return false;
        if (length <= static_cast<std::size_t>(out_end - out)) {
            if (length != 0) std::memcpy(out, in, length);
            out += length;
        } else if (!count_only(length)) {
            return false;
        }
        in += length;
        return true;
    }

    bool huffman_block(const std::uint32_t* literals, const std::uint32_t* distances) {
        for (;;) {
            if (!refill()) return false;
            std::uint32_t entry = decode(literals, kLiteralRootBits);
            if (entry & kLiteral) {
                if (out < out_end) {
                    *out++ = static_cast<std::uint8_t>(entry >> 16);
                } else if (!count_only(1)) {
                    return false;
                }
                continue;
            }
            if (entry & (kEndOfBlock | kInvalid)) return (entry & kEndOfBlock) != 0;
            const std::size_t length = (entry >> 16) + take((entry >> 4) & 15);
            entry = decode(distances, kDistanceRootBits);
            if (entry & kInvalid) return false;
            const std::size_t distance = (entry >> 16) + take((entry >> 4) & 15);
            if (distance > total()) return false;
            if (static_cast<std::size_t>(out_end - out) < length) {
                if (!count_only(length)) return false;
                continue;
            }
            std::uint8_t* to = out;
            const std::uint8_t* from = out - distance;
            std::uint8_t* const end = out + length;
            if (distance >= 8 && out_end - end >= 8) {
                // Eight bytes at a time: each piece reads only bytes written before it, and may
                // write up to seven bytes past the end, which the next code overwrites.
                do {
                    std::memcpy(to, from, 8);
                    to += 8;
                    from += 8;
                } while (to < end);
            } else if (distance == 1) {
                std::memset(to, *from, length);
            } else {
                do *to++ = *from++;
                while (to < end);
            }
            out = end;
        }
    }

    // The code lengths of a dynamic block's two codes, and their tables.
    [[gnu::cold]] bool dynamic_tables(std::uint8_t* lengths, std::uint32_t* literals, std::uint32_t* distances) {
        const unsigned literal_codes = take(5) + 257;
        const unsigned distance_codes = take(5) + 1;
        const unsigned length_codes = take(4) + 4;
        if (literal_codes > 286 || distance_codes > 30) return false;
        std::uint8_t code_lengths[19] = {};
        for (unsigned i = 0; i < length_codes; ++i) {
            if (!refill()) return false;
            code_lengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(take(3));
        }
        std::uint32_t length_table[1u << kCodeLengthBits];
        if (!build_table(length_table, std::size(length_table), kCodeLengthBits, code_lengths, 19,
                         Alphabet::code_length)) {
            return false;
        }
        const unsigned all = literal_codes + distance_codes;
        for (unsigned i = 0; i < all;) {
            if (!refill()) return false;
            const unsigned symbol = decode(length_table, kCodeLengthBits) >> 16;
            if (symbol < 16) {
                lengths[i++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            std::uint8_t repeated = 0;
            unsigned times;
            if (symbol == 16) {
                if (i == 0) return false;
                repeated = lengths[i - 1];
                times = 3 + take(2);
            } else if (symbol == 17) {
                times = 3 + take(3);
            } else {
                times = 11 + take(7);
            }
            if (times > all - i) return false;
            std::memset(lengths + i, repeated, times);
            i += times;
        }
        if (lengths[256] == 0) return false;  // a block must be able to end
        return build_table(literals, kLiteralTableSize, kLiteralRootBits, lengths, literal_codes, Alphabet::literal) &&
               build_table(distances, kDistanceTableSize, kDistanceRootBits, lengths + literal_codes, distance_codes,
                           Alphabet::distance);
    }
};

}  // namespace

DeflateDecoded decode_deflate(std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                              std::size_t limit) {
    Decoder d{input.data(), input.data() + input.size(), output.data(), output.data(),
              output.data() + std::min(output.size(), limit), limit};
    std::uint32_t literals[kLiteralTableSize];
    std::uint32_t distances[kDistanceTableSize];
    std::uint8_t lengths[288 + 32];
    bool fixed_tables = false;  // the tables hold the fixed codes
    bool last;
    std::size_t block_bit = 0;
    do {
        if (!d.refill()) return {};
        block_bit = d.bit_position(input.data());
        last = d.take(1) != 0;
        const unsigned type = d.take(2);
        if (type == 0) {
            if (!d.stored_block()) return {};
            continue;
        }
        if (type == 1 && !fixed_tables) {
            std::memset(lengths, 8, 144);
            std::memset(lengths + 144, 9, 112);
            std::memset(lengths + 256, 7, 24);
            std::memset(lengths + 280, 8, 8);
            std::memset(lengths + 288, 5, 32);
            build_table(literals, kLiteralTableSize, kLiteralRootBits, lengths, 288, Alphabet::literal);
            build_table(distances, kDistanceTableSize, kDistanceRootBits, lengths + 288, 32, Alphabet::distance);
            fixed_tables = true;
        } else if (type == 2) {
            fixed_tables = false;
            if (!d.dynamic_tables(lengths, literals, distances)) return {};
        } else if (type == 3) {
            return {};
        }
        if (!d.huffman_block(literals, distances)) return {};
    } while (!last);
    if (d.past_end * 8 > d.bit_count) return {};
    const std::size_t end_bit = d.bit_position(input.data());
    return {true, (end_bit + 7) / 8, d.total(), block_bit, end_bit};
}

std::uint32_t adler32_of(std::span<const std::uint8_t> data, std::uint32_t adler) {
    constexpr std::uint32_t kBase = 65521;
    // The most bytes after which the sums, reduced only then, can't yet overflow 32 bits.
    constexpr std::size_t kMaxDeferred = 5552;
    std::uint32_t a = adler & 0xffff, b = adler >> 16;
    const std::uint8_t* p = data.data();
    std::size_t left = data.size();
    while (left != 0) {
        std::size_t n = std::min(left, kMaxDeferred);
        left -= n;
        for (; n != 0; --n) {
            a += *p++;
            b += a;
        }
        a %= kBase;
        b %= kBase;
    }
    return b << 16 | a;
}

}  // namespace plinth
