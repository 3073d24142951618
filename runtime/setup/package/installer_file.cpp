#include "package/installer_file.h"

#include <algorithm>
#include <vector>

#include "package/container.h"
#include "package/manifest.h"

namespace plinth {

std::optional<AppManifest> read_installer_manifest(PeSource& file) {
    const auto layout = read_pe_layout(file);
    const auto resource = layout ? find_rcdata(*layout, 1) : std::nullopt;
    if (!resource || resource->size < kPackageHeaderSize) return std::nullopt;
    std::vector<std::uint8_t> head(kPackageHeaderSize);
    if (!file.read(resource->offset, head)) return std::nullopt;
    const std::uint64_t length = std::uint64_t{head[8]} | std::uint64_t{head[9]} << 8 |
                                 std::uint64_t{head[10]} << 16 | std::uint64_t{head[11]} << 24;
    // A longer manifest is refused by the parse anyway; it is not read to find that out.
    if (length > kMaxManifestSize || length > resource->size - kPackageHeaderSize) return std::nullopt;
    head.resize(kPackageHeaderSize + length);
    if (!file.read(resource->offset + kPackageHeaderSize, std::span(head).subspan(kPackageHeaderSize))) return std::nullopt;
    // The container's own checks, with no payload: only the manifest is wanted here.
    auto package = read_package(head);
    if (!package) return std::nullopt;
    return std::move(package->manifest);
}

bool installer_resource_is(PeSource& file, std::uint32_t id, std::span<const std::uint8_t> bytes) {
    const auto layout = read_pe_layout(file);
    const auto resource = layout ? find_rcdata(*layout, id) : std::nullopt;
    if (!resource || resource->size != bytes.size()) return false;
    std::vector<std::uint8_t> held(bytes.size());
    return file.read(resource->offset, held) && std::equal(held.begin(), held.end(), bytes.begin());
}

}  // namespace plinth
