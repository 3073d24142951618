// An app folder's other files: the second resource of the installer and its table.
//
// Layout, little-endian, no padding: the 8 bytes "PLNFILES", the file count N (32-bit), N
// entries of { path length P (16-bit), inflated size (32-bit), stream length S (32-bit), P bytes
// of UTF-8 relative path with backslashes }, then the N zlib streams one after the other, in the
// order of the table, up to the end of the resource. An app of one exe has no such resource.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "common/text.h"

namespace plinth {

inline constexpr std::array<std::uint8_t, 8> kAppFilesMagic = {'P', 'L', 'N', 'F', 'I', 'L', 'E', 'S'};
inline constexpr std::size_t kAppFilesHeaderSize = 12;
inline constexpr std::size_t kAppFileEntryHeaderSize = 10;
inline constexpr std::uint32_t kMaxAppFiles = 10000;
// Units of the relative path; the install folder comes in front of it, within Windows' 260.
inline constexpr std::size_t kMaxAppFilePathUnits = 200;
inline constexpr std::uint32_t kMaxAppFileSize = 0x7fffffff;
// Components of every path together: bounds the folders an install creates and removes.
inline constexpr std::size_t kMaxAppFileComponents = 100000;

struct AppFile {
    std::string path;  // relative to the install folder, components joined by backslashes
    std::uint32_t size = 0;  // bytes once inflated
    std::span<const std::uint8_t> stream;  // its zlib stream, a view into the resource
};
using AppFiles = std::vector<AppFile>;

// The rule a relative path breaks; `part` is then the component at fault, where there is one.
enum class AppPathRule { kept, utf8, length, empty, name, trailing, old, uninstaller };
AppPathRule broken_app_path_rule(std::string_view path, std::string_view& part);

// Why `path` can't be the relative path of one of the app's files, as a clause that follows the
// path, or nothing when it can be: each component must pass `file_name_problem`, may not end in
// a dot or a space, nor in ".old" (the leftover sweep deletes those); the top level may not hold
// "uninstall.exe"; the whole path is valid UTF-8 and at most `kMaxAppFilePathUnits` UTF-16 units.
std::optional<std::string> app_file_path_problem(std::string_view path);
// The same decision without the clause.
bool app_file_path_ok(std::string_view path);

// The path in upper case as Windows compares file names (common/upper_case.h), for comparing
// paths: two paths name the same file when their folded forms are equal.
std::u16string fold_case(std::string_view path);

// Sorts folded paths (std::sort's order) with little code: the stub sorts only such keys.
void sort_keys(std::vector<std::u16string>& keys);

// Why the paths can't be installed together beside the app's exe, as a sentence for the app's
// developer, or nothing: two paths equal ignoring case, a path equal to the exe, a file whose
// path is a folder of another, or more than `kMaxAppFileComponents` components in all.
std::optional<std::string> app_file_set_problem(const std::vector<std::string>& paths, std::string_view exe);

// The table of the resource, every path checked with `app_file_path_ok` and the components
// counted. Fails with "Its contents can't be read." when the resource is not exactly such a
// table followed by its streams; the streams themselves are not looked at. Paths that collide
// (the packer refuses them) are not looked for: they can only make one file overwrite another
// of the same package, or a folder that can't be created, which the install reports.
Result<AppFiles> read_app_files(std::span<const std::uint8_t> resource);

// The resource for files given with their compressed streams (`stream` pointing at the bytes),
// as the packer writes it. The caller checks counts and sizes first.
std::vector<std::uint8_t> build_app_files(const AppFiles& files);

// The paths that are not in `kept`, compared as Windows compares names (a sorted search: an
// update of 10,000 files compares each with 10,000).
std::vector<std::string> paths_not_in(const std::vector<std::string>& paths, const std::vector<std::string>& kept);

// The list of installed paths as one text and back; '|' can't be part of a file name. Read back,
// a list that no table could have given is nothing at all: one with more than `kMaxAppFiles`
// paths, more than `kMaxAppFileComponents` components, or any path that breaks the rules (an
// empty one included). The empty text is the empty list.
std::string join_installed_paths(const std::vector<std::string>& paths);
std::optional<std::vector<std::string>> split_installed_paths(std::string_view text);

}  // namespace plinth
