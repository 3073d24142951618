// Deleting an app folder's other files: by the removal, and by an update for the files the new
// version no longer has.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "platform/platform.h"

namespace plinth {

// The relative `path` (UTF-8, as the tables and the entry keep it) under `folder`. Out of line:
// the install and the removal build such paths at many places, each a conversion and a join.
Path path_in(const Path& folder, std::string_view path);

// Whether a folder on the way from `folder` to `path`, a path below it, is a link (a symbolic
// link, a junction, a mount point); `path` itself too when `itself`.
bool passes_link(platform::Platform& platform, const Path& folder, const Path& path, bool itself);

// Deletes each relative path under `folder` the way the app exe is deleted; a file that can't
// go (a DLL another process holds) stays, as does one below a link: what a link leads to is
// never ours to delete. A listed path that is itself a link goes as a link, never emptied. Then,
// deepest first, each folder that held one of them: its leftovers are swept and it is removed
// when that leaves it empty, so folders holding the user's own files stay; a folder that is a
// link, or lies below one, is left alone. `folder` itself is not removed. Returns the paths that
// are still there (a removal ignores them; an update keeps them on its list to try again). A
// folder of `in_use` (relative, folded as Windows compares names, each with a backslash after
// it, sorted) holds an update's staged files: it is neither swept nor removed.
std::vector<std::string> delete_app_files(platform::Platform& platform, const Path& folder,
                                          const std::vector<std::string>& paths,
                                          const std::vector<std::u16string>& in_use = {});
// The same, appending the paths still there to `still_there`: an update gathers them from
// several passes.
void delete_app_files(platform::Platform& platform, const Path& folder, const std::vector<std::string>& paths,
                      const std::vector<std::u16string>& in_use, std::vector<std::string>& still_there);

}  // namespace plinth
