// Whole-file reads and the all-or-nothing write of the packer's output.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "byte_io.h"
#include "byte_sink.h"
#include "common/result.h"
#include "temporary_file.h"

namespace plinth::pack {

// A path given as UTF-8 text (the command line's form on every host).
std::filesystem::path path_from_utf8(const std::string& text);
std::string path_to_utf8(const std::filesystem::path& path);

// How a file is opened for reading. The file is opened without blocking and read from the one
// handle that was checked, so a FIFO or device is refused rather than waited on.
struct ReadRule {
    std::uint64_t max_size = 0;
    // A file found by walking a folder: a link at its path is refused, not followed, and its size
    // must still be the walked one, so what is packed is what was checked.
    bool walked = false;
    std::optional<std::uint64_t> expected_size;
};

// The file's bytes; fails naming the file when it is missing, unreadable, a folder, not a regular
// file, or larger than `max_size`.
Result<Bytes> read_file(const std::filesystem::path& path, std::uint64_t max_size);
Result<Bytes> read_file(const std::filesystem::path& path, const ReadRule& rule);

// The output written in pieces to a temporary file beside `path` (temporary_file.h), made on the
// first write, and
// renamed into place by `commit`, so that `path` is either the complete new file or left as it
// was. Not committed, the temporary file is removed when this ends, on every path.
class ReplacingFile final : public ByteSink {
public:
    explicit ReplacingFile(std::filesystem::path path) : path_(std::move(path)) {}
    ~ReplacingFile() override;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    Status write(ByteView bytes) override;
    Status write_at(std::uint64_t offset, ByteView bytes) override;
    // Completes the temporary file without putting it in place, for a step that works on the
    // whole file first (signing); `commit` then renames what is there.
    Result<std::filesystem::path> complete();
    Status commit();

private:
    Status open();

    std::filesystem::path path_;
    std::optional<TemporaryFile> temporary_;  // made on the first write
    std::uint64_t written_ = 0;
};

// The whole file at once, as ReplacingFile writes it.
Status write_file_replacing(const std::filesystem::path& path, ByteView bytes);

}  // namespace plinth::pack
