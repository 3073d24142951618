#include "install/app_files_install.h"

#include <algorithm>

#include "deletion/app_files_deletion.h"
#include "deletion/file_deletion.h"
#include "deletion/leftover_sweep.h"
#include "failures/message_failure.h"
#include "install/replace_and_write.h"
#include "log/run_log.h"
#include "package/lzma_payload.h"
#include "package/payload.h"
#include "common/upper_case.h"

namespace plinth {
namespace {

// Inflating overlaps writing: at most this much is inflated ahead of the file being written, on
// top of it, so that memory stays within the largest file and a few MiB.
constexpr std::size_t kInflateAheadBudget = 4u << 20;

// Inflating a file of a few KiB takes microseconds, less than handing it from one thread to the
// other (a wake and a switch per file, which a busy machine makes milliseconds): a second thread
// pays only when the files average this much.
constexpr std::uint64_t kWorthInflatingAhead = 64u << 10;

bool worth_inflating_ahead(const AppFiles& files) {
    std::uint64_t total = 0;
    for (const AppFile& file : files) total += file.size;
    return total >= kWorthInflatingAhead * files.size();
}

// The files' bytes in the table's order, inflated on a second thread when the system gives one
// and the files are large enough for it to pay.
class InflatedFiles final : public platform::BufferMaker {
public:
    InflatedFiles(platform::Platform& platform, const AppFiles& files)
        : files_(files),
          ahead_(worth_inflating_ahead(files) ? platform.session.work_ahead(*this, kInflateAheadBudget) : nullptr) {}
    Result<std::span<const std::uint8_t>> next() {
        const AppFile& file = files_[taken_++];
        if (!ahead_) return inflater_.inflate(file.stream, file.size);
        if (auto bytes = ahead_->next()) return *bytes;
        // The inflater fails only on damage, which is all a file the worker couldn't make says.
        return fail(Message::damaged_app);
    }

private:
    std::size_t count() const override { return files_.size(); }
    // A size its stream can't make is taken as none, so that no room is taken for it.
    std::size_t size_of(std::size_t index) const override {
        const AppFile& file = files_[index];
        return stream_size_possible(file.stream, file.size) ? file.size : 0;
    }
    bool make(std::size_t index, std::span<std::uint8_t> out) override {
        const AppFile& file = files_[index];
        if (out.size() != file.size) return false;  // the failure is damage
        return static_cast<bool>(inflater_.inflate_into(file.stream, out));
    }

    const AppFiles& files_;
    FileInflater inflater_;
    std::size_t taken_ = 0;
    // Last, so that the worker, which uses the members above, is stopped before they go.
    std::unique_ptr<platform::WorkAhead> ahead_;
};

std::size_t whole_of(const StagedFolders& staged, std::size_t i) { return i < staged.whole.size() ? staged.whole[i] : 0; }

// Whether file `i` was written straight to its name, at the root of a new install folder.
bool in_place_already(const StagedFolders& staged, const AppFiles& files, std::size_t i) {
    return i < staged.direct_until && files[i].path.find('\\') == std::string::npos;
}

// Where the relative `path` waits: inside the staged folder named by its first `whole` bytes, or
// under its own staged name.
Path staged_in(const Path& folder, std::string_view path, std::size_t whole) {
    const std::size_t cut = whole == 0 ? path.size() : whole;
    Path staged = path_in(folder, path.substr(0, cut));
    staged += kStagedSuffix;
    staged += to_utf16(path.substr(cut));
    return staged;
}

Path staged_folder_target(const Path& folder, const AppFiles& files, const StagedFolders& staged, std::size_t r) {
    const std::size_t first = staged.firsts[r];
    return path_in(folder, std::string_view(files[first].path).substr(0, staged.whole[first]));
}

// The folder that file `i` is staged in, `whole` bytes of its path, folded and with its
// backslash, as `ours` has it.
std::u16string folder_key(const AppFiles& files, std::size_t i, std::size_t whole) {
    return fold_case(std::string_view(files[i].path).substr(0, whole + 1));
}

// Whether file `i` is staged in the folder `key` names. Out of line: both ways of putting a
// staged folder in place ask it.
[[gnu::noinline]] bool in_staged_folder(const AppFiles& files, const StagedFolders& staged, std::size_t i,
                                        std::size_t whole, const std::u16string& key) {
    return staged.whole[i] == whole && folder_key(files, i, whole) == key;
}

// What staging works on, handed to the clean-up as one: it is called at every failure, and four
// arguments fewer at each call are some bytes of the stub each.
struct Staging {
    platform::Platform& platform;
    const Path& folder;
    const AppFiles& files;
    const StagedFolders& staged;
};

// Deletes the files staged under their own names in [from, to), and the staged folders from
// `from_folder` on.
void delete_staged(const Staging& staging, std::size_t from, std::size_t to, std::size_t from_folder) {
    auto& [platform, folder, files, staged] = staging;
    for (std::size_t i = from; i < to; ++i) {
        if (whole_of(staged, i) != 0) continue;
        Path path = path_in(folder, files[i].path);
        if (!in_place_already(staged, files, i)) path += kStagedSuffix;
        (void)delete_file(platform, path);
    }
    for (std::size_t r = from_folder; r < staged.firsts.size(); ++r) {
        (void)delete_staged_entry(platform, staged_path(staged_folder_target(folder, files, staged, r)));
    }
}

// The folders of the install seen so far, folded as Windows compares names, each list sorted: a
// sorted vector rather than a std::set, whose tree code costs the stub 3 KiB.
struct SeenFolders {
    std::vector<std::u16string> swept;  // the install folder, swept already, isn't listed
    std::vector<std::u16string> known;                   // looked at
    std::vector<std::u16string> whole;                   // of those, the ones staged whole (few)
};

// Adds `key` to the sorted `keys`; false when it is there already.
bool add_folder(std::vector<std::u16string>& keys, std::u16string key) {
    std::size_t at = std::lower_bound(keys.begin(), keys.end(), key) - keys.begin();
    if (at != keys.size() && keys[at] == key) return false;
    // Moved up one by one rather than by vector::insert, which would be the stub's only user.
    keys.push_back(std::move(key));
    for (std::size_t i = keys.size() - 1; i > at; --i) keys[i].swap(keys[i - 1]);
    return true;
}

// The bytes of `path` that name the folder it is staged in, 0 for none. Each folder on the way
// is looked at once: one that isn't there, and whose staged name is free or can be freed, is
// staged whole from file `i` on, and everything below it with it.
std::size_t find_whole(platform::Platform& platform, const Path& folder, std::string_view path, std::size_t end,
                       SeenFolders& seen, StagedFolders& staged, std::size_t i) {
    for (std::size_t at = path.find('\\'); at != std::string_view::npos && at <= end; at = path.find('\\', at + 1)) {
        // With its backslash, as `ours` has it.
        std::u16string key = fold_case(path.substr(0, at + 1));
        if (!add_folder(seen.known, key)) {
            for (const std::u16string& staged_whole : seen.whole) {
                if (staged_whole == key) return at;
            }
            continue;
        }
        const Path target = path_in(folder, path.substr(0, at));
        const auto ours = std::lower_bound(staged.ours.begin(), staged.ours.end(), key);
        const bool swapped = ours != staged.ours.end() && *ours == key;
        if (swapped) {
            // A staged name that can't be freed leaves the folder to go in file by file.
            if (!delete_staged_entry(platform, staged_path(target))) {
                staged.ours.erase(ours);
                continue;
            }
        } else {
            const auto info = platform.files.metadata(target);
            if (info || (info.error() != platform::codes::kFileNotFound && info.error() != platform::codes::kPathNotFound) ||
                !delete_staged_entry(platform, staged_path(target))) {
                continue;
            }
        }
        seen.whole.push_back(std::move(key));
        staged.firsts.push_back(i);
        return at;
    }
    return 0;
}

}  // namespace

Result<std::uint64_t> stage_app_files(platform::Platform& platform, const Path& folder, const AppFiles& files,
                                      StagedFolders& staged, bool sweep, bool direct) {
    std::uint64_t written = 0;
    staged.whole.clear();
    staged.firsts.clear();
    staged.direct_until = 0;
    // A folder is swept once only: a second sweep would take the files staged in it.
    SeenFolders seen;
    std::string_view last_parent;
    std::size_t whole = 0;
    InflatedFiles inflated(platform, files);
    const Staging staging{platform, folder, files, staged};
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string_view path = files[i].path;
        const std::size_t end = path.rfind('\\');
        const std::string_view parent = path.substr(0, end == std::string_view::npos ? 0 : end);
        if (parent != last_parent) {
            last_parent = parent;
            whole = find_whole(platform, folder, path, end, seen, staged, i);
            if (!parent.empty() && add_folder(seen.swept, fold_case(parent))) {
                const Path target = path_in(folder, parent);
                if (const auto code = platform.files.create_folder_tree(whole ? staged_in(folder, parent, whole) : target);
                    code != platform::codes::kSuccess) {
                    // This file's folder may be listed already: its clean-up reads the file's entry.
                    staged.whole.push_back(whole);
                    delete_staged(staging, 0, i, 0);
                    return fail(platform, Message::cant_create_folder, target, code);
                }
                // Never through a link: the .old files where it leads aren't ours.
                if (!whole && sweep && !passes_link(platform, folder, target, true)) sweep_leftovers(platform, target);
            }
        }
        staged.whole.push_back(whole);
        auto bytes = inflated.next();
        if (!bytes) {
            delete_staged(staging, 0, i, 0);
            return pass_on(std::move(bytes.error()));
        }
        const Path target = path_in(folder, path);
        Status status = success();
        if (direct && parent.empty()) {
            status = write_or_stage(platform, target, staged_path(target), *bytes, direct);
            if (direct && status) staged.direct_until = i + 1;
        } else {
            status = stage_bytes(platform, target, staged_in(folder, path, staged.whole[i]), *bytes);
        }
        if (!status) {
            // A failed write may have left part of the file.
            delete_staged(staging, 0, i + 1, 0);
            return pass_on(std::move(status.error()));
        }
        written += bytes->size();
    }
    return written;
}

Status put_app_files_in_place(platform::Platform& platform, const Path& folder, const AppFiles& files,
                              StagedFolders& staged) {
    const Staging staging{platform, folder, files, staged};
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (whole_of(staged, i) != 0 || in_place_already(staged, files, i)) continue;
        if (auto status = put_in_place(platform, path_in(folder, files[i].path)); !status) {
            delete_staged(staging, i + 1, files.size(), 0);
            return status;
        }
    }
    for (std::size_t r = 0; r < staged.firsts.size(); ++r) {
        const Path target = staged_folder_target(folder, files, staged, r);
        const Path from = staged_path(target);
        const std::size_t first = staged.firsts[r];
        const std::size_t whole = staged.whole[first];
        const std::u16string key = folder_key(files, first, whole);
        const auto in_folder = [&](std::size_t i) { return in_staged_folder(files, staged, i, whole, key); };
        if (std::binary_search(staged.ours.cbegin(), staged.ours.cend(), key)) {
            Path aside = move_folder_aside(platform, target);
            if (!aside.empty()) {
                staged.aside.push_back(std::move(aside));
            } else {
                // In use: the installed folder stays, and takes the new files one by one.
                std::vector<std::string> inside = take_paths_inside(staged.dropped, {&key, 1});
                delete_app_files(platform, folder, inside, {}, staged.left);
            }
        }
        if (platform.files.rename(from, target) == platform::codes::kSuccess) {
            for (std::size_t i = first; i < files.size(); ++i) {
                if (in_folder(i)) platform.log->write("Wrote", path_in(folder, files[i].path));
            }
            continue;
        }
        // Something took the name since it was found free: the files go in one by one.
        Status status = success();
        for (std::size_t i = first; i < files.size() && status; ++i) {
            const std::string_view path = files[i].path;
            if (!in_folder(i)) continue;
            const Path parent = path_in(folder, path.substr(0, path.rfind('\\')));
            if (const auto code = platform.files.create_folder_tree(parent); code != platform::codes::kSuccess) {
                status = fail(platform, Message::cant_create_folder, parent, code);
            } else {
                status = put_in_place(platform, path_in(folder, path), staged_in(folder, path, whole));
            }
        }
        if (!status) {
            delete_staged(staging, 0, 0, r);
            return status;
        }
        (void)delete_staged_entry(platform, from);  // its emptied folders
    }
    return success();
}

void delete_staged_app_files(platform::Platform& platform, const Path& folder, const AppFiles& files,
                             const StagedFolders& staged) {
    delete_staged({platform, folder, files, staged}, 0, files.size(), 0);
}

std::vector<std::string> dropped_app_files(const std::vector<std::string>& previous, const AppFiles& files,
                                           std::string_view exe) {
    std::vector<std::string> kept;
    kept.push_back(std::string(exe));
    for (const AppFile& file : files) kept.push_back(file.path);
    return paths_not_in(previous, kept);
}

namespace {

// Adds the folders of the relative `path` to `folders`, folded, each with a backslash after it.
void add_folders_of(std::vector<std::u16string>& folders, std::string_view path) {
    for (std::size_t end = path.find('\\'); end != std::string::npos; end = path.find('\\', end + 1)) {
        folders.push_back(fold_case(path.substr(0, end + 1)));
    }
}

void sort_once_each(std::vector<std::u16string>& keys) {
    sort_keys(keys);
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
}

bool holds_key(const std::vector<std::u16string>& keys, const std::u16string& key) {
    return std::binary_search(keys.begin(), keys.end(), key);
}

}  // namespace

std::vector<std::u16string> folders_of(const AppFiles& files) {
    std::vector<std::u16string> folders;
    for (const AppFile& file : files) add_folders_of(folders, file.path);
    sort_once_each(folders);
    return folders;
}

void folders_wholly_ours(platform::Platform& platform, const Path& folder, const std::vector<std::string>& previous,
                         const std::vector<std::u16string>& kept, std::vector<std::u16string>& ours) {
    // The installed files and folders in one sorted list: a folder sorts before all it holds.
    std::vector<std::u16string> known;
    for (const std::string& path : previous) {
        known.push_back(fold_case(path));
        add_folders_of(known, path);
    }
    sort_once_each(known);
    // Per entry: whether the folder holds something not ours, or isn't there. Deepest first, so
    // that a folder's verdict reaches its parent before the parent is looked at.
    enum : char { whole, mixed, absent };
    std::string verdict(known.size(), whole);  // a string: its code is in the library already
    for (std::size_t i = known.size(); i-- > 0;) {
        const std::u16string& key = known[i];
        if (key.back() != u'\\') continue;
        if (verdict[i] == whole) {
            const std::u16string_view name_of_it = std::u16string_view(key).substr(0, key.size() - 1);
            auto names = platform.files.list_folder(join_path(folder, name_of_it), true);
            if (!names) {
                verdict[i] = names.error() == platform::codes::kFileNotFound || names.error() == platform::codes::kPathNotFound
                                 ? absent
                                 : mixed;
            }
            for (std::size_t n = 0; names && n < names->size() && verdict[i] == whole; ++n) {
                Path& name = (*names)[n];
                // A folder's name ends with a backslash, as its key does, so a user's folder where
                // one of our files was isn't taken for that file. A folder of ours in it has had
                // its own turn, and passed its verdict up.
                std::u16string entry = key;
                entry += upper_case(name);
                if (holds_key(known, entry)) continue;
                const bool is_folder = name.ends_with(u'\\');
                if (is_folder) name.pop_back();
                if (swept_as_tree(to_utf8(name))) continue;
                // Another leftover the sweep takes is a file; anything else is the user's.
                if (is_folder || !name.ends_with(u".old")) verdict[i] = mixed;
            }
        }
        if (verdict[i] != mixed) continue;
        const std::size_t up = key.rfind(u'\\', key.size() - 2);
        if (up == std::u16string::npos) continue;
        const auto parent = std::lower_bound(known.begin(), known.end(), key.substr(0, up + 1));
        verdict[parent - known.begin()] = mixed;
    }
    for (std::size_t i = 0; i < known.size(); ++i) {
        const std::u16string& key = known[i];
        if (key.back() != u'\\' || verdict[i] != whole || !holds_key(kept, key)) continue;
        if (!ours.empty() && key.starts_with(ours.back())) continue;
        ours.push_back(key);
    }
}

std::vector<std::string> take_paths(std::vector<std::string>& dropped, std::span<const std::u16string> folders,
                                    bool inside) {
    std::vector<std::string> taken;
    std::vector<std::string> rest;
    for (std::string& path : dropped) {
        // The last folder not after the path's key: the one that holds it, or that it names.
        std::u16string key = fold_case(path);
        if (!inside) key += u'\\';
        const auto after = std::upper_bound(folders.begin(), folders.end(), key);
        const bool match = after != folders.begin() && (inside ? key.starts_with(after[-1]) : key == after[-1]);
        (match ? taken : rest).push_back(std::move(path));
    }
    dropped = std::move(rest);
    return taken;
}

}  // namespace plinth
