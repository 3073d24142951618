#include "version_record.h"

#include <gtest/gtest.h>

namespace plinth::pack {
namespace {

TEST(VersionRecord, NumericVersionTakesTheLeadingNumbers) {
    const std::pair<const char*, std::array<std::uint16_t, 4>> cases[] = {
        {"1.2.3.4", {1, 2, 3, 4}},
        {"1.2.3.4.5", {1, 2, 3, 4}},
        {"2.0", {2, 0, 0, 0}},
        {"1.2.3-beta", {1, 2, 3, 0}},
        {"v1.2", {0, 0, 0, 0}},
        {"", {0, 0, 0, 0}},
        {"65535.65536.7", {65535, 0, 7, 0}},
        {"99999999999999999999.1", {0, 1, 0, 0}},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(numeric_version(text), expected) << text;
}

std::u16string utf16_at(const Bytes& bytes, std::size_t offset) {
    std::u16string text;
    while (offset + 1 < bytes.size() && (bytes[offset] | bytes[offset + 1]) != 0) {
        text.push_back(static_cast<char16_t>(bytes[offset] | (bytes[offset + 1] << 8)));
        offset += 2;
    }
    return text;
}

// Walks the record's nodes and checks each length against its parent: a wrong length makes
// Windows show nothing.
std::size_t check_node(const Bytes& bytes, std::size_t at, std::size_t end, std::vector<std::u16string>& keys) {
    const std::uint16_t length = *read_u16(bytes, at);
    EXPECT_LE(at + length, end);
    EXPECT_EQ(at % 4, 0u);
    const std::u16string key = utf16_at(bytes, at + 6);
    keys.push_back(key);
    std::size_t child = align_up(at + 6 + 2 * (key.size() + 1), 4);
    const std::uint16_t value_length = *read_u16(bytes, at + 2);
    const bool text = *read_u16(bytes, at + 4) == 1;
    child = align_up(child + (text ? 2 * value_length : value_length), 4);
    while (child < at + length) child = align_up(check_node(bytes, child, at + length, keys), 4);
    return at + length;
}

TEST(VersionRecord, CarriesTheStringsInWellFormedNodes) {
    const Bytes record = build_version_record({"Notes", "1.4.2", "Acme \xC3\xA9", "Notes Setup"});
    EXPECT_EQ(*read_u16(record, 0), record.size());
    EXPECT_EQ(*read_u32(record, 40), 0xfeef04bdu);
    EXPECT_EQ(*read_u32(record, 48), (1u << 16) | 4u);  // file version MS
    EXPECT_EQ(*read_u32(record, 52), 2u << 16);         // file version LS
    std::vector<std::u16string> keys;
    check_node(record, 0, record.size(), keys);
    EXPECT_EQ(keys, (std::vector<std::u16string>{u"VS_VERSION_INFO", u"StringFileInfo", u"040904B0", u"CompanyName",
                                                  u"FileDescription", u"ProductName", u"ProductVersion",
                                                  u"VarFileInfo", u"Translation"}));
    // The company name's value follows its key, in UTF-16.
    const std::u16string whole(reinterpret_cast<const char16_t*>(record.data()), record.size() / 2);
    EXPECT_NE(whole.find(u"Acme \u00e9"), std::u16string::npos);
}

TEST(VersionRecord, HugeTextsStayWithinTheSixteenBitLengths) {
    const std::string huge(100000, 'x');
    const Bytes record = build_version_record({huge, huge, huge, huge});
    EXPECT_LT(record.size(), 65536u);
    std::vector<std::u16string> keys;
    check_node(record, 0, record.size(), keys);
    EXPECT_EQ(keys.size(), 9u);
}

}  // namespace
}  // namespace plinth::pack
