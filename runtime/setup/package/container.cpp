#include "package/container.h"

#include <algorithm>
#include <string>

#include "failures/message_failure.h"
#include "package/manifest.h"

namespace plinth {

Result<Package> read_package(std::span<const std::uint8_t> resource) {
    const auto unreadable = [] { return fail(Message::unreadable_package); };
    const std::uint64_t size = resource.size();
    if (size < kPackageMagic.size()) return unreadable();
    if (!std::equal(kPackageMagic.begin(), kPackageMagic.end(), resource.begin())) return unreadable();
    if (size < kPackageHeaderSize) return unreadable();

    const std::uint64_t length = std::uint64_t{resource[8]} | std::uint64_t{resource[9]} << 8 |
                                 std::uint64_t{resource[10]} << 16 | std::uint64_t{resource[11]} << 24;
    // In 64 bits neither side can wrap: size >= 12 and length < 2^32.
    if (size - 8 < length + 4) return unreadable();

    const auto manifest_bytes = resource.subspan(kPackageHeaderSize, static_cast<std::size_t>(length));
    Package package;
    if (!read_app_manifest(std::string_view(reinterpret_cast<const char*>(manifest_bytes.data()), manifest_bytes.size()),
                           package.manifest)) {
        return unreadable();
    }
    package.payload = resource.subspan(kPackageHeaderSize + manifest_bytes.size());
    return package;
}

std::vector<std::uint8_t> build_package(std::string_view manifest_json,
                                        std::span<const std::uint8_t> payload) {
    const auto length = static_cast<std::uint32_t>(manifest_json.size());
    std::vector<std::uint8_t> bytes(kPackageHeaderSize + manifest_json.size() + payload.size());
    auto out = std::copy(kPackageMagic.begin(), kPackageMagic.end(), bytes.begin());
    for (int shift = 0; shift < 32; shift += 8) *out++ = static_cast<std::uint8_t>(length >> shift);
    out = std::copy(manifest_json.begin(), manifest_json.end(), out);
    std::copy(payload.begin(), payload.end(), out);
    return bytes;
}

}  // namespace plinth
