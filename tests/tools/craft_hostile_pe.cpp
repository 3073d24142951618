// Writes the crafted stubs, app exes and icon files of the packer's hostile-input check into a
// folder (tests/e2e/pack_hostile_pe_test.sh runs the real packer on them).
//   craft_hostile_pe FOLDER
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "pack/hostile_pe.h"
#include "pack/synthetic_pe.h"

using namespace plinth::pack;
using namespace plinth::pack::testing;

namespace {

constexpr std::uint16_t kMost = 0xffff;
constexpr std::uint32_t kMiB = 1u << 20;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: craft_hostile_pe FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const std::vector<std::pair<const char*, std::function<Bytes()>>> files = {
        {"stub.exe", [] { return build_stub(plain_stub_tree()); }},
        {"app.exe", [] { return build_stub(ResourceTree{}); }},
        {"shared-dirs.exe", [] { return build_stub_with_resources(shared_directory_resources(kMost, kMost, 1)); }},
        {"shared-dirs-long-names.exe",
         [] { return build_stub_with_resources(shared_directory_resources(kMost, kMost, kMost)); }},
        {"shared-blob.exe", [] { return build_stub_with_resources(shared_blob_resources(kMost, 32 * 1024)); }},
        {"shared-image.ico", [] { return ico_sharing_one_image(kMost, dib_image(kMiB, 2)); }},
        {"app-shared-icon.exe", [] { return app_sharing_one_icon(kMost, kMiB); }},
        {"many-images.ico", [] { return ico_sharing_one_image(kMost, dib_image(40, 4)); }},
        {"stub-icons-2-3.exe", [] { return stub_with_icons_outside_group_one({2, 3}); }},
        {"stub-icon-65535.exe", [] { return stub_with_icons_outside_group_one({kMost}); }},
        {"stub-icon-0.exe", [] { return stub_with_icons_outside_group_one({0}); }},
        {"stub-resources-in-headers.exe", stub_with_resources_inside_headers},
    };
    for (const auto& [name, make] : files) {
        const Bytes bytes = make();
        std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            std::fprintf(stderr, "craft_hostile_pe: can't write %s\n", (folder / name).c_str());
            return 1;
        }
    }
    return 0;
}
