// Writing a file of the install in two steps: under a staged name beside its target, then, once
// every file is written, into place by a rename, moving an in-use file aside when it can't go.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "common/result.h"
#include "common/text.h"
#include "platform/platform.h"

namespace plinth {

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

// On a first install into a folder this run created (`direct`), nothing is there to protect:
// the bytes go straight to the target, a name that must be free. When it is taken after all,
// `direct` turns false and they are staged as above, for the swap to put in place. A failed
// write deletes what it wrote of the target.
Status write_or_stage(platform::Platform& platform, const Path& target, const Path& staged,
                      std::span<const std::uint8_t> bytes, bool& direct);

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

// Renames the folder to the first "{folder}.{n}.old" that is free or can be freed, and returns
// that name; nothing when the folder can't be moved (a file in it is in use).
Path move_folder_aside(platform::Platform& platform, const Path& folder);

}  // namespace plinth
