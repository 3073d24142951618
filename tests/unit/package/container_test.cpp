#include "package/container.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plinth {
namespace {

const std::string kManifest = R"({"name":"Notes","id":"org.notes","exe":"notes.exe"})";

std::vector<std::uint8_t> bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> header(std::uint32_t length) {
    std::vector<std::uint8_t> bytes = bytes_of("PLNSETUP");
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(length >> shift));
    return bytes;
}

std::vector<std::uint8_t> concat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(BuildPackage, LaysOutMagicLittleEndianLengthManifestAndPayload) {
    const std::vector<std::uint8_t> payload{0x78, 0x9C, 0x01};
    const auto package = build_package("{}", payload);
    const std::vector<std::uint8_t> expected{'P', 'L', 'N', 'S', 'E', 'T', 'U', 'P', 2, 0, 0, 0,
                                             '{', '}', 0x78, 0x9C, 0x01};
    EXPECT_EQ(package, expected);
    EXPECT_EQ(header(0x01020304), concat(bytes_of("PLNSETUP"), {0x04, 0x03, 0x02, 0x01}));
}

TEST(ReadPackage, SplitsManifestAndPayloadInPlace) {
    const std::vector<std::uint8_t> payload{1, 2, 3, 4, 5};
    const auto resource = build_package(kManifest, payload);
    const auto package = read_package(resource);
    ASSERT_TRUE(package.ok());
    EXPECT_EQ(package->manifest.name, "Notes");
    EXPECT_EQ(package->manifest.exe, "notes.exe");
    // A view into the resource itself, not a copy.
    EXPECT_EQ(package->payload.data(), resource.data() + 12 + kManifest.size());
    EXPECT_EQ(package->payload.size(), payload.size());
}

TEST(ReadPackage, ManifestEndingExactlyAtTheResourceEndLeavesAnEmptyPayload) {
    const auto resource = build_package(kManifest, {});
    const auto package = read_package(resource);
    ASSERT_TRUE(package.ok());
    EXPECT_TRUE(package->payload.empty());
}

struct Damaged {
    const char* label;
    std::vector<std::uint8_t> resource;
};

class DamagedContainer : public testing::TestWithParam<Damaged> {};

TEST_P(DamagedContainer, IsUnreadable) {
    const auto package = read_package(GetParam().resource);
    ASSERT_FALSE(package.ok());
    EXPECT_EQ(package.error().text, "Its contents can't be read.");
}

std::vector<std::uint8_t> length_one_too_long() {
    auto resource = build_package(kManifest, {});
    resource[8] = static_cast<std::uint8_t>(kManifest.size() + 1);
    return resource;
}

std::vector<std::uint8_t> first_bytes(std::size_t count) {
    auto resource = build_package(kManifest, {});
    resource.resize(count);
    return resource;
}

INSTANTIATE_TEST_SUITE_P(
    ReadPackage, DamagedContainer,
    testing::Values(
        Damaged{"empty", {}},
        Damaged{"seven_bytes", bytes_of("PLNSETU")},
        Damaged{"magic_only", bytes_of("PLNSETUP")},
        Damaged{"eleven_bytes", first_bytes(11)},
        Damaged{"twelve_bytes_zero_length", header(0)},
        Damaged{"magic_lower_case", concat(bytes_of("plnsetup"), concat({static_cast<std::uint8_t>(kManifest.size()), 0, 0, 0}, bytes_of(kManifest)))},
        Damaged{"magic_one_letter_case", concat(bytes_of("PLNSETuP"), concat({static_cast<std::uint8_t>(kManifest.size()), 0, 0, 0}, bytes_of(kManifest)))},
        Damaged{"short_wrong_magic", bytes_of("XLNSETU")},
        Damaged{"length_one_byte_too_long", length_one_too_long()},
        Damaged{"length_all_ones", concat(header(0xFFFFFFFF), bytes_of(kManifest))},
        Damaged{"length_high_byte_only", concat(header(0x80000000), bytes_of(kManifest))},
        Damaged{"manifest_not_json", build_package("not json", std::vector<std::uint8_t>{1})},
        Damaged{"manifest_misses_exe", build_package(R"({"name":"n","id":"i"})", {})}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ReadPackage, ManifestLengthDecidesWhereThePayloadStarts) {
    // Trailing spaces inside L are part of the manifest; a byte after L belongs to the payload.
    const std::string padded = kManifest + "  \n";
    auto resource = build_package(padded, bytes_of("x"));
    auto package = read_package(resource);
    ASSERT_TRUE(package.ok());
    EXPECT_EQ(package->payload.size(), 1u);

    resource = build_package(kManifest + " x", {});
    EXPECT_FALSE(read_package(resource).ok());
}

}  // namespace
}  // namespace plinth
