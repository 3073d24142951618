// Writing a file of the install in two steps: under a staged name beside its target, then, once
// every file is written, into place by a rename, moving an in-use file aside when it can't go.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "common/text.h"
#include "platform/platform.h"

namespace plinth {

// The log's line for a file moved aside that stays there.
void log_moved_aside(platform::Platform& platform, const Path& from, const Path& to);

// "{target}.new.old": where the target's new bytes wait for the swap.
Path staged_path(const Path& target);

// Writes `bytes` under the target's staged name, whatever is there. Fails with "Can't write
// {target}: {}", naming the target, not the staged name.
// The same under `staged`, a name inside a staged folder.
Status stage_bytes(platform::Platform& platform, const Path& target, const Path& staged,
                   std::span<const std::uint8_t> bytes);
inline Status stage_bytes(platform::Platform& platform, const Path& target, std::span<const std::uint8_t> bytes) {
    return stage_bytes(platform, target, staged_path(target), bytes);
}

// The same for a copy of the file at `source`, streamed rather than held in memory. A source
// that can't be read (the installer itself) fails with "Can't read the installer: {}".
Status stage_copy(platform::Platform& platform, const Path& target, const Path& source);

// Renames the staged file onto the target, replacing it. A target that refuses (a running
// program, a read-only file, a file held open, a folder) is deleted or, when it can't be,
// renamed to the first usable "{name}.{n}.old", n from 1 to 99, and the staged file renamed after
// it. Fails with "Can't replace {}. Close it, then try again." when no spare name works, or
// "Can't write {}: {}" when the rename fails; the staged file is then deleted.
Status put_in_place(platform::Platform& platform, const Path& target, const Path& staged);
inline Status put_in_place(platform::Platform& platform, const Path& target) {
    return put_in_place(platform, target, staged_path(target));
}

// The same for the swap (from the target's staged name), where nothing but renames should
// happen: the target, when there is one, is renamed aside to "{name}.{n}.old" (added to `aside`,
// to be deleted once the swap is over) and the staged file renamed onto the freed name. A rename
// onto an existing file costs what deleting that file costs; this way that cost falls after the
// swap. Without `aside` (a first install) no target is expected: the staged file is renamed onto
// it, and only when its name is taken does `put_in_place` do the rest, as it does for a target
// that can't be renamed. When the rename of the staged file fails, the old file goes back and the
// staged one is deleted: "Can't write {target}: {}".
Status swap_in(platform::Platform& platform, const Path& target, std::vector<Path>* aside);

}  // namespace plinth
