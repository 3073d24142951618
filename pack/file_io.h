// Whole-file reads and the all-or-nothing write of the packer's output.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "byte_io.h"
#include "common/result.h"

namespace plinth::pack {

// A path given as UTF-8 text (the command line's form on every host).
std::filesystem::path path_from_utf8(const std::string& text);
std::string path_to_utf8(const std::filesystem::path& path);

// The file's bytes; fails naming the file when it is missing, unreadable, a folder, or
// larger than `max_size`.
Result<Bytes> read_file(const std::filesystem::path& path, std::uint64_t max_size);

// Writes to a temporary file beside `path` and renames it into place, so `path` is either the
// complete new file or left as it was. The temporary file is removed on failure.
Status write_file_replacing(const std::filesystem::path& path, ByteView bytes);

}  // namespace plinth::pack
