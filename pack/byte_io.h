// Little-endian reads and writes over byte buffers, every read checked against the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace plinth::pack {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// Whether [offset, offset + size) lies inside a buffer of `total` bytes, without overflow.
constexpr bool in_bounds(std::uint64_t offset, std::uint64_t size, std::uint64_t total) {
    return offset <= total && size <= total - offset;
}

inline std::optional<std::uint16_t> read_u16(ByteView bytes, std::uint64_t offset) {
    if (!in_bounds(offset, 2, bytes.size())) return std::nullopt;
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline std::optional<std::uint32_t> read_u32(ByteView bytes, std::uint64_t offset) {
    if (!in_bounds(offset, 4, bytes.size())) return std::nullopt;
    return static_cast<std::uint32_t>(bytes[offset]) | (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

inline std::optional<ByteView> read_span(ByteView bytes, std::uint64_t offset, std::uint64_t size) {
    if (!in_bounds(offset, size, bytes.size())) return std::nullopt;
    return bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
}

// Writes into a buffer the caller has already sized; callers write only inside it.
inline void put_u16(Bytes& out, std::size_t offset, std::uint16_t value) {
    out.at(offset + 1);
    out[offset] = static_cast<std::uint8_t>(value);
    out[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void put_u32(Bytes& out, std::size_t offset, std::uint32_t value) {
    out.at(offset + 3);
    for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void append_u16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void append_u32(Bytes& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void pad_to(Bytes& out, std::size_t alignment) {
    while (out.size() % alignment != 0) out.push_back(0);
}

constexpr std::uint64_t align_up(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

}  // namespace plinth::pack
