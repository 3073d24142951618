// Where an installer's bytes go as they are made: a buffer, or the output file written in pieces.
#pragma once

#include <cstdint>

#include "byte_io.h"
#include "common/result.h"

namespace plinth::pack {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual Status write(ByteView bytes) = 0;
    // Overwrites bytes already written: the checksum, known only once everything is written.
    virtual Status write_at(std::uint64_t offset, ByteView bytes) = 0;
};

class MemorySink final : public ByteSink {
public:
    explicit MemorySink(Bytes& out) : out_(out) {}
    Status write(ByteView bytes) override {
        out_.insert(out_.end(), bytes.begin(), bytes.end());
        return success();
    }
    Status write_at(std::uint64_t offset, ByteView bytes) override {
        if (!in_bounds(offset, bytes.size(), out_.size())) return fail("a write outside what was written");
        std::copy(bytes.begin(), bytes.end(), out_.begin() + static_cast<std::ptrdiff_t>(offset));
        return success();
    }

private:
    Bytes& out_;
};

}  // namespace plinth::pack
