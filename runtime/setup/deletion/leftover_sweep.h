// Cleaning up files that an earlier run moved aside because they were in use, or wrote under a
// staged name and never put in place.
#pragma once

#include <string_view>

#include "common/text.h"
#include "platform/platform.h"

namespace plinth {

// The name a new file is written under beside its target, until every file of the install is
// written and each is renamed into place: "{name}.new.old". It ends in ".old", which no file of
// a package may, so the sweep takes what a failed or killed run left.
inline constexpr std::u16string_view kStagedSuffix = u".new.old";

// "{target}.{n}.old": where a file in use, or a folder swapped out whole, is moved aside.
Path spare_path(const Path& target, unsigned n);

// Whether the sweep deletes an entry of this name with all it may hold: "{name}.new.old" and
// "{name}.{n}.old".
bool swept_as_tree(std::string_view name);

// Deletes every entry of the folder whose name ends in ".old" (case-sensitive): moved-aside files
// and staged ones; a staged folder or a folder moved aside ("{name}.{n}.old") with all it holds;
// never a link. Nothing here can fail: an
// entry that can't be deleted now stays for a later run.
void sweep_leftovers(platform::Platform& platform, const Path& folder);

// Deletes a staged file, or a staged folder and everything in it. A link is removed, never
// followed. True when nothing is left at `path`.
bool delete_staged_entry(platform::Platform& platform, const Path& path);

}  // namespace plinth
