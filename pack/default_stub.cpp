#include "default_stub.h"

#include <cstdlib>
#include <system_error>

#include "file_io.h"

namespace plinth::pack {

std::vector<std::filesystem::path> stub_candidates(const std::filesystem::path& packer_path) {
    std::vector<std::filesystem::path> candidates;
    if (packer_path.has_parent_path()) {
        candidates.push_back(packer_path.parent_path() / kStubFileName);
    } else {
        candidates.push_back(kStubFileName);
    }
#ifdef PLINTH_BUILD_TREE_STUB
    const std::filesystem::path built = path_from_utf8(PLINTH_BUILD_TREE_STUB);
    if (built != candidates.front()) candidates.push_back(built);
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
    auto absolute = std::filesystem::absolute(argv0, error);
    return error ? argv0 : absolute;
}

}  // namespace plinth::pack
