// The packer's PE reader and resource writer on arbitrary images: read the headers and the
// resource tree, put a package into the tree, write the image, and read it back. A written
// image that doesn't read back as exactly the tree that was written is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "pe_image.h"
#include "resource_tree.h"
#include "resource_writer.h"

using namespace plinth::pack;

namespace {

// Small enough that no input makes the writer allocate gigabytes.
constexpr std::uint64_t kMaxImage = 64ull << 20;

void read_everything(ByteView input) {
    const auto image = read_pe_image(input);
    if (!image) return;
    (void)image->end_of_sections();
    for (const DataDirectory& directory : image->directories) {
        (void)image->section_for_rva(directory.rva);
        (void)image->bytes_at_rva(directory.rva, directory.size);
    }
    (void)read_resource_tree(*image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteView input(data, size);
    read_everything(input);

    const auto tree = read_stub_resources(input);
    if (!tree) return 0;
    ResourceTree changed = *tree;
    // The package: the last bytes of the input, so its size varies with the input.
    const std::size_t package_size = size % 4096;
    changed.set(ResourceName::number(kTypeRcData), ResourceName::number(1), kLangNeutral,
                Bytes(data + size - package_size, data + size));

    const auto written = replace_resources(input, changed, kMaxImage);
    if (!written) return 0;
    if (written->size() > kMaxImage) std::abort();
    read_everything(*written);
    const auto back = read_stub_resources(*written);
    if (!back || !(*back == changed)) std::abort();

    // Writing the image again gives the same bytes: the writer's output is a stable stub.
    const auto again = replace_resources(*written, changed, kMaxImage);
    if (!again || *again != *written) std::abort();
    return 0;
}
