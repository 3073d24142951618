// Where the compressed streams wait until the installer is written: appended as they are made,
// read back a piece at a time as the resource section is written. In memory for an installer
// built in memory; in a temporary file beside the output otherwise, so that the packer holds one
// file's stream at a time whatever the app's size.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

#include "byte_io.h"
#include "common/result.h"
#include "temporary_file.h"

namespace plinth::pack {

// Bytes in a store: where they start and how many.
struct StoredSpan {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    friend bool operator==(const StoredSpan&, const StoredSpan&) = default;
};

class StreamStore {
public:
    virtual ~StreamStore() = default;
    virtual Result<StoredSpan> append(ByteView bytes) = 0;
    // Fills `into` from `offset`, which must lie within what was appended.
    virtual Status read(std::uint64_t offset, std::span<std::uint8_t> into) = 0;
};

class MemoryStreamStore final : public StreamStore {
public:
    Result<StoredSpan> append(ByteView bytes) override;
    Status read(std::uint64_t offset, std::span<std::uint8_t> into) override;

private:
    Bytes bytes_;
};

// A temporary file beside `output` (temporary_file.h), made on the first append and removed when
// the store ends, on every path. On POSIX hosts its name is removed as soon as it is open, so that
// even a packer killed mid-way leaves nothing behind.
class FileStreamStore final : public StreamStore {
public:
    explicit FileStreamStore(std::filesystem::path output) : output_(std::move(output)) {}
    ~FileStreamStore() override;
    FileStreamStore(const FileStreamStore&) = delete;
    FileStreamStore& operator=(const FileStreamStore&) = delete;

    Result<StoredSpan> append(ByteView bytes) override;
    Status read(std::uint64_t offset, std::span<std::uint8_t> into) override;

private:
    std::filesystem::path output_;
    std::optional<TemporaryFile> file_;  // made on the first append
    std::uint64_t size_ = 0;
};

}  // namespace plinth::pack
