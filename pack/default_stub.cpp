#include "default_stub.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <system_error>

#include "file_io.h"

namespace plinth::pack {

std::vector<std::filesystem::path> stub_candidates(const std::filesystem::path& packer_path) {
    const std::filesystem::path folder = packer_path.parent_path();
    std::vector<std::filesystem::path> candidates;
    auto add = [&candidates](std::filesystem::path path) {
        path = path.lexically_normal();
        if (std::find(candidates.begin(), candidates.end(), path) == candidates.end()) {
            candidates.push_back(std::move(path));
        }
    };
    // lexically_normal turns "bin/../share" into "share", and a bare "../share" stays relative.
    add((folder.empty() ? std::filesystem::path(".") : folder) / ".." / "share" / "plinth" / kStubFileName);
    add(folder / kStubFileName);
#ifdef PLINTH_BUILD_TREE_STUB
    add(path_from_utf8(PLINTH_BUILD_TREE_STUB));
#endif
    return candidates;
}

std::filesystem::path own_executable(const std::filesystem::path& argv0) {
    std::error_code error;
#if defined(_WIN32)
    // Set by the C runtime to the full path of the running program.
    if (_wpgmptr != nullptr && *_wpgmptr != 0) return std::filesystem::path(_wpgmptr);
#elif defined(__linux__)
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) return self;
#endif
#if !defined(_WIN32)
    // Started through PATH (and no /proc, as in a bare chroot): a bare name is the first such
    // program on PATH, not a file in the current folder.
    if (!argv0.empty() && !argv0.has_parent_path()) {
        if (const char* path = std::getenv("PATH")) {
            std::string_view rest(path);
            while (true) {
                const auto end = std::min(rest.find(':'), rest.size());
                const std::filesystem::path candidate = std::filesystem::path(rest.substr(0, end)) / argv0;
                if (end > 0 && std::filesystem::is_regular_file(candidate, error)) {
                    return std::filesystem::absolute(candidate, error);
                }
                if (end == rest.size()) break;
                rest.remove_prefix(end + 1);
            }
        }
    }
#endif
    auto absolute = std::filesystem::absolute(argv0, error);
    return error ? argv0 : absolute;
}

std::string describe_stub_places(const std::filesystem::path& packer_path) {
    std::string text;
    for (const auto& place : stub_candidates(packer_path)) text += "  " + path_to_utf8(place) + "\n";
    return text;
}

}  // namespace plinth::pack
