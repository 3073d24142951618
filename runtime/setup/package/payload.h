// Inflating the payload: the app's exe back from its zlib stream, entirely in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "common/result.h"
#include "compression/zlib_inflate.h"

namespace plinth {

// The largest app the packer puts into an installer (2^31 - 1 bytes), and so the most an intact
// payload inflates to.
inline constexpr std::size_t kMaxAppSize = 0x7fffffff;

// The exe's bytes from a zlib stream (RFC 1950: header, deflate data, verified Adler-32). Bytes
// after the end of the stream are not looked at. A corrupt, truncated or empty stream, a gzip or
// raw deflate stream, a stream that needs a preset dictionary, one that inflates to more than
// `max_size` bytes (inflation stops there, so a small hostile stream can't take all memory), and
// one that can't be held in memory all fail with "The app inside the installer is damaged.".
// Only tests pass another `max_size`.
Result<InflatedBytes> inflate_payload(std::span<const std::uint8_t> payload,
                                                  std::size_t max_size = kMaxAppSize);

// Inflates an app folder's files one after another: into one buffer of its own, which grows to
// the largest file and is reused, so that a thousand small files cost no thousand allocations;
// or into room of the caller's, when another thread holds the files inflated ahead.
class FileInflater {
public:
    FileInflater();
    ~FileInflater();
    FileInflater(const FileInflater&) = delete;
    FileInflater& operator=(const FileInflater&) = delete;

    // The bytes of a zlib stream that must inflate to exactly `size` bytes, valid until the next
    // call. A stream that is damaged, ends early or late, fails its Adler-32, or claims more than
    // deflate can make of its length fails with "The app inside the installer is damaged.", as
    // does a file that can't be held in memory.
    Result<std::span<const std::uint8_t>> inflate(std::span<const std::uint8_t> stream, std::size_t size);
    // The same into room of the caller's, which the stream must fill exactly.
    Status inflate_into(std::span<const std::uint8_t> stream, std::span<std::uint8_t> out);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace plinth
