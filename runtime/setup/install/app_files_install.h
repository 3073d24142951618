// Installing an app folder's other files, after the app exe and with the same steps.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "common/text.h"
#include "package/app_files.h"
#include "platform/platform.h"

namespace plinth {

// Where the files wait for the swap. A folder that didn't exist before this run is written whole
// under its staged name ("{folder}.new.old", its files under their own names), so that the swap
// puts it in place with one rename; any other file waits under its own staged name.
// On a first install into a folder this run created, the files at its root go straight to their
// names until one is found taken.
//
// An existing folder whose whole tree is the installed version's (`ours`, from
// `folders_wholly_ours`) is staged whole the same way, and swapped by two renames: the installed
// folder aside to "{folder}.{n}.old", the staged one into its name. The installed version's files
// that the new one drops there go with the old tree, deleted after the swap.
struct StagedFolders {
    // Per file staged so far: bytes of its path naming its staged folder, 0 none. Of the type of
    // `firsts`, so that both share one vector's code.
    std::vector<std::size_t> whole;
    std::vector<std::size_t> firsts;   // per staged folder: the first file in it
    std::size_t direct_until = 0;      // the root files before this one are in place already
    std::vector<std::u16string> ours;  // folded, each with a backslash after it, sorted
    std::vector<std::string> dropped;  // the dropped files inside `ours`
    std::vector<Path> aside;           // where swapped folders went, to delete after the swap
    std::vector<std::string> left;     // of `dropped`, those that had to go one by one and couldn't
};

// Writes each file under `folder` where `staged` (filled here) says, in the table's order. Its
// folders are created first, and each existing folder's leftovers are swept before the first
// file goes into it, when `sweep` says the folder holds the app (never through a link); a
// leftover of a staged folder's name is deleted before it is used. The next files are inflated
// on a second thread while one is written, a few MiB ahead at most (one at a time, into a reused
// buffer, when no thread can be had). Returns the bytes written; fails with
// "Can't create the folder {}: {}", "The app inside the installer is damaged." (a stream that
// doesn't inflate to the size in the table), or the failure of staging, having deleted what it
// staged. `direct`: `folder` was created by this run (see write_or_stage).
Result<std::uint64_t> stage_app_files(platform::Platform& platform, const Path& folder, const AppFiles& files,
                                      StagedFolders& staged, bool sweep = true, bool direct = false);

// Puts each staged file in place, in the table's order, then each staged folder. A folder whose
// name was taken since it was found free has its files put in place one by one; so has one of
// `ours` that can't be moved aside (a file in it is in use), after its dropped files are deleted.
// On a failure, what is not yet in place is deleted and the failure returned.
Status put_app_files_in_place(platform::Platform& platform, const Path& folder, const AppFiles& files,
                              StagedFolders& staged);

// Deletes every staged file and folder, when a later step failed before the swap.
void delete_staged_app_files(platform::Platform& platform, const Path& folder, const AppFiles& files,
                             const StagedFolders& staged);

// The previous version's paths that neither the new files nor the app exe take over, compared
// as Windows compares names.
std::vector<std::string> dropped_app_files(const std::vector<std::string>& previous, const AppFiles& files,
                                           std::string_view exe);

// Every folder that the files go into, relative, folded as Windows compares names, each with a
// backslash after it; sorted, once each.
std::vector<std::u16string> folders_of(const AppFiles& files);

// The topmost folders below `folder` that both versions have (`kept`, as folders_of gives them)
// and whose tree holds nothing but the installed version's files (`previous`) and leftovers the
// sweep takes: one listing per folder the installed version has. Folded, each with a backslash
// after it, sorted. A folder holding anything else, a user's file, is left out, and so are its
// parents.
// Appends them to `ours`, empty before.
void folders_wholly_ours(platform::Platform& platform, const Path& folder, const std::vector<std::string>& previous,
                         const std::vector<std::u16string>& kept, std::vector<std::u16string>& ours);

// Takes out of `dropped` the paths inside one of `folders` (`inside`, as folders_wholly_ours
// gives them), or that stand where one of them must be created.
std::vector<std::string> take_paths(std::vector<std::string>& dropped, std::span<const std::u16string> folders,
                                    bool inside);
inline std::vector<std::string> take_paths_inside(std::vector<std::string>& dropped,
                                                  std::span<const std::u16string> folders) {
    return take_paths(dropped, folders, true);
}

// Takes out of `dropped` the paths that stand where one of `folders` (as folders_of gives them)
// must be created, a file that becomes a folder: those must go before the new files are staged.
inline std::vector<std::string> take_paths_in_the_way(std::vector<std::string>& dropped,
                                                      std::span<const std::u16string> folders) {
    return take_paths(dropped, folders, false);
}

}  // namespace plinth
