#include "app_folder.h"

#include <algorithm>

#include "file_io.h"
#include "pack_manifest.h"
#include "package/app_files.h"
#include "package/file_name_rules.h"

namespace plinth::pack {
namespace {

std::string in_quotes(std::string_view text) {
    // Appended: GCC 12 at -O3 takes "\"" + text for an overlapping copy (-Wrestrict).
    std::string out = "\"";
    out += text;
    out += '"';
    return out;
}

// The relative path as the package stores it. Each component is checked alone first: a
// backslash inside a Linux file name would otherwise read as a separator.
Result<std::string> package_path(const std::filesystem::path& relative) {
    std::string joined;
    for (const auto& component : relative) {
        const std::string name = path_to_utf8(component);
        if (auto problem = file_name_problem(name)) {
            return fail("The app folder's " + in_quotes(path_to_utf8(relative)) + " has a name " + in_quotes(name) +
                        " that " + *problem + ".");
        }
        if (!joined.empty()) joined += '\\';
        joined += name;
    }
    if (auto problem = app_file_path_problem(joined)) {
        return fail("The app folder's file " + in_quotes(joined) + " " + *problem + ".");
    }
    return joined;
}

}  // namespace

Result<AppFolderListing> list_app_folder(const std::filesystem::path& folder, std::string_view exe) {
    AppFolderListing listing;
    bool found_exe = false;
    std::string exe_in_other_case;
    // Every problem of the folder is reported in one run, one line each.
    std::vector<std::string> problems;
    std::error_code error;
    std::filesystem::recursive_directory_iterator it(folder, std::filesystem::directory_options::none, error);
    if (error) return fail(path_to_utf8(folder) + ": Can't be read as a folder.");
    for (const std::filesystem::recursive_directory_iterator end; it != end; it.increment(error)) {
        if (error) return fail(path_to_utf8(folder) + ": Can't be read whole (" + error.message() + ").");
        const std::filesystem::path& path = it->path();
        const auto relative = path.lexically_relative(folder);
        const auto status = std::filesystem::symlink_status(path, error);
        if (error) return fail(path_to_utf8(path) + ": Can't be examined.");
        if (std::filesystem::is_symlink(status)) {
            problems.push_back(path_to_utf8(path) + " is a symbolic link; links aren't followed. Put the file or "
                               "folder itself in the app folder.");
            continue;
        }
        if (std::filesystem::is_directory(status)) {
            // Checked now so that the message names the folder, and once: what lies below it
            // would repeat the same problem. Empty folders are not kept.
            if (auto checked = package_path(relative); !checked) {
                problems.push_back(checked.error().text);
                it.disable_recursion_pending();
            }
            continue;
        }
        if (!std::filesystem::is_regular_file(status)) {
            problems.push_back(path_to_utf8(path) + " is neither a file nor a folder.");
            continue;
        }
        const std::uint64_t size = std::filesystem::file_size(path, error);
        if (error) {
            problems.push_back(path_to_utf8(path) + ": Can't be examined.");
            continue;
        }
        const bool top_level = std::distance(relative.begin(), relative.end()) == 1;
        if (top_level && path_to_utf8(relative) == exe) {
            listing.exe = path;
            listing.exe_size = size;
            found_exe = true;
            continue;
        }
        if (top_level && fold_case(path_to_utf8(relative)) == fold_case(exe)) exe_in_other_case = path_to_utf8(relative);
        auto checked = package_path(relative);
        if (!checked) {
            problems.push_back(checked.error().text);
            continue;
        }
        listing.others.push_back({std::move(*checked), path, size});
        if (listing.others.size() > kMaxAppFiles) {
            return fail("The app folder has more than " + std::to_string(kMaxAppFiles) +
                        " files besides the exe; an installer holds at most that many.");
        }
    }
    if (!found_exe && !exe_in_other_case.empty()) {
        problems.push_back("The app folder has " + in_quotes(exe_in_other_case) + ", which differs from the manifest's "
                           "\"exe\" " + in_quotes(exe) + " only in case. Write \"exe\": " + in_quotes(exe_in_other_case) +
                           " in the manifest, or rename the file " + in_quotes(exe) + ".");
    } else if (!found_exe) {
        problems.push_back("The app folder has no file " + in_quotes(exe) + " at its top level (the manifest's \"exe\").");
    }
    std::sort(listing.others.begin(), listing.others.end(),
              [](const AppFolderFile& a, const AppFolderFile& b) { return a.path < b.path; });
    std::vector<std::string> paths;
    for (const AppFolderFile& file : listing.others) paths.push_back(file.path);
    if (found_exe) {
        if (auto problem = app_file_set_problem(paths, exe)) problems.push_back(*problem);
    }
    if (!problems.empty()) {
        // One problem a line: each made visible on its own, the line breaks between them kept.
        std::string text;
        for (const std::string& problem : problems) text += (text.empty() ? "" : "\n") + visible_controls(problem);
        return Unexpected<Failure>{Failure{std::move(text)}};
    }
    return listing;
}

Result<Bytes> read_walked_file(const std::filesystem::path& source, std::uint64_t size, std::uint64_t max_size) {
    return read_file(source, ReadRule{max_size, true, size});
}

Status read_app_input(const std::filesystem::path& app, std::uint64_t max_size, InstallerInputs& inputs) {
    std::error_code error;
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(app, error))) {
        auto bytes = read_file(app, max_size);
        if (!bytes) return fail(bytes.error().text);
        inputs.app = std::move(*bytes);
        return success();
    }
    auto manifest = check_manifest_for_packing(inputs.manifest_json);
    if (!manifest) return fail(manifest.error());
    auto listing = list_app_folder(app, manifest->exe);
    if (!listing) return fail(listing.error().text);
    auto exe = read_walked_file(listing->exe, listing->exe_size, max_size);
    if (!exe) return fail(exe.error().text);
    inputs.app = std::move(*exe);
    for (AppFolderFile& file : listing->others) {
        auto bytes = read_walked_file(file.source, file.size, max_size);
        if (!bytes) return fail(bytes.error().text);
        inputs.other_files.push_back({std::move(file.path), std::move(*bytes)});
    }
    return success();
}

}  // namespace plinth::pack
