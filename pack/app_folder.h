// An app given as a folder: the exe at its top level, every other regular file below it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "byte_io.h"
#include "common/result.h"
#include "installer_builder.h"

namespace plinth::pack {

struct AppFolderFile {
    std::string path;  // relative, components joined by backslashes, as the package stores it
    std::filesystem::path source;
    std::uint64_t size = 0;  // as the walk found it; the read must find the same
};

struct AppFolderListing {
    std::filesystem::path exe;         // the file named by the manifest's "exe"
    std::uint64_t exe_size = 0;
    std::vector<AppFolderFile> others;  // sorted by path
};

// Walks the folder without following links. Fails with a sentence for the app's developer for
// each problem found, one a line: a symbolic link, something that isn't a file or a folder, a
// name Windows can't hold, two paths equal ignoring case (both named), a top-level
// "uninstall.exe", a name ending in ".old", a path too long, or no file `exe` at the top level
// (or one that differs from it in case alone). More files than an installer holds stop the walk.
// Empty folders give nothing.
Result<AppFolderListing> list_app_folder(const std::filesystem::path& folder, std::string_view exe);

// What --app gives: a file becomes `inputs.app` as it is; a folder is listed against the
// manifest's "exe" (the manifest must be acceptable), its exe becomes `inputs.app` and the rest
// `inputs.other_files`. Each file is at most `max_size` bytes, and is read as the walk found it.
// Reads a walked file from the handle it opens: no link followed, no blocking, the walked size.
Result<Bytes> read_walked_file(const std::filesystem::path& source, std::uint64_t size, std::uint64_t max_size);

Status read_app_input(const std::filesystem::path& app, std::uint64_t max_size, InstallerInputs& inputs);

}  // namespace plinth::pack
