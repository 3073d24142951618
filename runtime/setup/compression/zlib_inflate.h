// Inflating a zlib stream entirely in memory: the app's exe, an app folder's file, a language's
// table. Knows nothing of what the bytes are; its callers say what a refusal means.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace plinth {

// Bytes whose room isn't zeroed when it is made: the inflater writes every byte it hands out, and
// zeroing the first room (up to four times the stream) would make all its pages resident at once,
// where only those written need be.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
    using value_type = T;
    template <class U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <class U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* at) noexcept {
        ::new (static_cast<void*>(at)) U;
    }
    template <class U, class... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};
using InflatedBytes = std::vector<std::uint8_t, UninitializedAllocator<std::uint8_t>>;

inline bool operator==(const InflatedBytes& inflated, const std::vector<std::uint8_t>& bytes) {
    return std::equal(inflated.begin(), inflated.end(), bytes.begin(), bytes.end());
}

// The bytes of a zlib stream (RFC 1950: header, deflate data, verified Adler-32). Bytes after the
// end of the stream are not looked at. Nothing for a corrupt, truncated or empty stream, a gzip or
// raw deflate stream, a stream that needs a preset dictionary, one that inflates to more than
// `max_size` bytes (inflation stops there, so a small hostile stream can't take all memory), and
// one that can't be held in memory.
std::optional<InflatedBytes> inflate_zlib(std::span<const std::uint8_t> stream, std::size_t max_size);

// Whether a zlib stream fills `out` exactly: false for a stream that is damaged, ends early or
// late, fails its Adler-32, or claims more than deflate can make of its length.
bool inflate_zlib_into(std::span<const std::uint8_t> stream, std::span<std::uint8_t> out);

// Whether a zlib stream of this length can inflate to `size` bytes at all: deflate makes at most
// 1032 bytes of one, and a larger claim is damage, refused before any room is taken for it.
bool inflated_size_possible(std::span<const std::uint8_t> stream, std::size_t size);

}  // namespace plinth
