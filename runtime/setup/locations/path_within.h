// Whether a path lies inside a folder, as Windows compares file names: the one test the
// install folder, the chosen folder, the log and the update's restart all make.
#pragma once

#include <optional>
#include <string_view>

namespace plinth {

// What follows `folder` and one backslash in `path` (empty when `path` is the folder itself), or
// nothing when `path` is neither the folder nor below it. Compared without case as Windows
// compares names (upper_case); the folder's trailing separators don't count, so "C:\" holds
// "C:\Apps". An empty folder, or one of separators alone, holds nothing. The result is a view into
// `path`, in its own case; it may hold "." or ".." parts, which the caller checks if it must.
std::optional<std::u16string_view> path_within(std::u16string_view path, std::u16string_view folder);

}  // namespace plinth
