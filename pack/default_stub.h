// Where the packer looks for the runtime stub when no --stub is given.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace plinth::pack {

inline constexpr const char* kStubFileName = "plinth-setup.exe";

// In order:
//   1. "../share/plinth/plinth-setup.exe" from the packer's folder: an installed prefix, the
//      release archives and the Debian package (bin/plinth-pack beside share/plinth/);
//   2. "plinth-setup.exe" beside the packer's own executable (a build folder, a copied pair);
//   3. the stub of the build tree the packer was built from, when it was built with one.
// Duplicates are dropped, so each place is looked at once.
std::vector<std::filesystem::path> stub_candidates(const std::filesystem::path& packer_path);

// The packer's own executable, or `argv0` when the system doesn't say.
std::filesystem::path own_executable(const std::filesystem::path& argv0);

// The places of stub_candidates(packer_path) as lines for --help, each indented by two spaces.
std::string describe_stub_places(const std::filesystem::path& packer_path);

}  // namespace plinth::pack
