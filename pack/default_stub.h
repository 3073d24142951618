// Where the packer looks for the runtime stub when no --stub is given.
#pragma once

#include <filesystem>
#include <vector>

namespace plinth::pack {

inline constexpr const char* kStubFileName = "plinth-setup.exe";

// In order: "plinth-setup.exe" beside the packer's own executable (how the two ship together),
// then the stub of the build tree the packer was built from, when it was built with one.
std::vector<std::filesystem::path> stub_candidates(const std::filesystem::path& packer_path);

// The packer's own executable, or `argv0` when the system doesn't say.
std::filesystem::path own_executable(const std::filesystem::path& argv0);

}  // namespace plinth::pack
