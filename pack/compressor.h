// Compressors that turn the app into the package's zlib stream.
//
// zlib is always built in; libdeflate and zopfli when they were found at build time. All of
// them write a standard zlib stream (RFC 1950), so the runtime inflates any of them with zlib.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "byte_io.h"
#include "common/result.h"

namespace plinth::pack {

enum class Compressor { zlib, libdeflate, zopfli };

std::string_view compressor_name(Compressor compressor);
std::optional<Compressor> compressor_from_name(std::string_view name);

// The compressors this build has, in the order of the list shown to users.
std::vector<Compressor> available_compressors();

// The smallest practical one this build has: libdeflate when present, else zlib.
Compressor default_compressor();

// Told how many input bytes are compressed so far.
using CompressionProgress = std::function<void(std::uint64_t done)>;

// Whether the compressor tells its progress while it works (zlib does; libdeflate and zopfli
// take the whole input in one call and report nothing until they are done).
bool reports_progress(Compressor compressor);

// The zlib stream of `data`, checked by inflating it again with zlib and comparing. `progress`,
// when given, is called from this thread as the input is consumed.
Result<Bytes> compress(Compressor compressor, ByteView data, const CompressionProgress& progress = {});

}  // namespace plinth::pack
