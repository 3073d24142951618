// Writing a file of the install in place, moving an in-use file aside when it can't be deleted.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "common/result.h"
#include "common/text.h"
#include "platform/platform.h"

namespace plinth {

// Puts `bytes` at `target`. An existing file that can't be deleted (a running program) is
// renamed to the first usable "{name}.{n}.old", n from 1 to 99, and the bytes are written under
// the target's own name. Fails with "Can't replace {}. Close it, then try again." when no spare
// name works, or "Can't write {}: {}" when the write fails.
Status replace_and_write(platform::Platform& platform, const Path& target, std::span<const std::uint8_t> bytes);

// The same for a copy of the file at `source`, streamed rather than held in memory. A source
// that can't be read fails with "Can't read {source_name}: {}".
Status replace_and_copy(platform::Platform& platform, const Path& target, const Path& source,
                        std::string_view source_name);

}  // namespace plinth
