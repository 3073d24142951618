#include "icon_group.h"

#include <gtest/gtest.h>

namespace plinth::pack {
namespace {

Bytes dib(std::uint8_t seed, std::size_t size = 48) {
    Bytes data(size, seed);
    put_u32(data, 0, 40);
    return data;
}

Bytes png(std::uint8_t seed) { return Bytes{0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a, seed, seed}; }

// A .ico file with the given images (width 16 * index, 32 bits).
Bytes ico(const std::vector<Bytes>& images) {
    Bytes out;
    append_u16(out, 0);
    append_u16(out, 1);
    append_u16(out, static_cast<std::uint16_t>(images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<std::uint8_t>(16 * (i + 1)));
        out.push_back(static_cast<std::uint8_t>(16 * (i + 1)));
        out.push_back(0);
        out.push_back(0);
        append_u16(out, 1);
        append_u16(out, 32);
        append_u32(out, static_cast<std::uint32_t>(images[i].size()));
        append_u32(out, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const Bytes& image : images) out.insert(out.end(), image.begin(), image.end());
    return out;
}

TEST(IconFile, ReadsEveryImageWithItsDirectoryFields) {
    auto icons = parse_ico(ico({dib(1), png(2)}));
    ASSERT_TRUE(icons.ok()) << icons.error().text;
    ASSERT_EQ(icons->size(), 2u);
    EXPECT_EQ((*icons)[0].width, 16);
    EXPECT_EQ((*icons)[1].height, 32);
    EXPECT_EQ((*icons)[1].bit_count, 32);
    EXPECT_EQ((*icons)[0].data, dib(1));
    EXPECT_EQ((*icons)[1].data, png(2));
}

TEST(IconFile, RefusesMalformedFiles) {
    const Bytes good = ico({dib(1)});
    Bytes cut_image = good;
    cut_image.pop_back();
    Bytes cut_directory(good.begin(), good.begin() + 6 + 15);
    Bytes cursor = good;
    cursor[2] = 2;
    Bytes neither = ico({Bytes(48, 7)});
    const std::pair<const char*, Bytes> cases[] = {
        {"empty", {}},
        {"no images", Bytes{0, 0, 1, 0, 0, 0}},
        {"a cursor file", cursor},
        {"directory cut short", cut_directory},
        {"image cut by one byte", cut_image},
        {"image neither PNG nor bitmap", neither},
    };
    for (const auto& [what, bytes] : cases) EXPECT_FALSE(parse_ico(bytes).ok()) << what;
    EXPECT_TRUE(parse_ico(good).ok());
}

TEST(IconGroup, ReplacingGroupOneDropsItsOldIconsAndKeepsOthers) {
    ResourceTree tree;
    // The stub: group 1 uses icons 1 and 2; group 5 uses icon 3 and shares icon 2.
    put_icon_group(tree, 1, *parse_ico(ico({dib(1), dib(2)})), kLangEnglishUs);
    Bytes group5;
    append_u16(group5, 0);
    append_u16(group5, 1);
    append_u16(group5, 2);
    for (std::uint16_t id : {std::uint16_t{3}, std::uint16_t{2}}) {
        group5.insert(group5.end(), {16, 16, 0, 0});
        append_u16(group5, 1);
        append_u16(group5, 32);
        append_u32(group5, 48);
        append_u16(group5, id);
    }
    tree.set(ResourceName::number(kTypeGroupIcon), ResourceName::number(5), kLangEnglishUs, group5);
    tree.set(ResourceName::number(kTypeIcon), ResourceName::number(3), kLangEnglishUs, dib(3));

    const IconSet replacement = *parse_ico(ico({png(7), png(8), png(9)}));
    put_icon_group(tree, 1, replacement, kLangNeutral);

    const auto& icons = tree.types.at(ResourceName::number(kTypeIcon));
    std::vector<std::uint16_t> ids;
    for (const auto& [name, languages] : icons) ids.push_back(*name.id);
    // Icon 1 was only group 1's: freed and reused; 2 and 3 stay for group 5; new ones take 1, 4, 5.
    EXPECT_EQ(ids, (std::vector<std::uint16_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(first_icon_group(tree), replacement);
    // The group keeps the old group's language.
    EXPECT_TRUE(tree.find(ResourceName::number(kTypeGroupIcon), ResourceName::number(1))->contains(kLangEnglishUs));
    EXPECT_EQ(tree.find(ResourceName::number(kTypeIcon), ResourceName::number(2))->at(kLangEnglishUs).bytes, dib(2));
}

TEST(IconGroup, FirstGroupIsTheFirstInDirectoryOrderAndMustBeComplete) {
    ResourceTree tree;
    put_icon_group(tree, 7, *parse_ico(ico({dib(7)})), kLangEnglishUs);
    EXPECT_EQ(first_icon_group(tree)->at(0).data, dib(7));
    // A named group sorts before numbered ones.
    ResourceTree named = tree;
    Bytes group;
    append_u16(group, 0);
    append_u16(group, 1);
    append_u16(group, 1);
    group.insert(group.end(), {32, 32, 0, 0});
    append_u16(group, 1);
    append_u16(group, 32);
    append_u32(group, 48);
    append_u16(group, 40);
    named.set(ResourceName::number(kTypeGroupIcon), ResourceName::named(u"MAINICON"), kLangEnglishUs, group);
    // Its icon 40 is missing: no usable first group.
    EXPECT_FALSE(first_icon_group(named).has_value());
    named.set(ResourceName::number(kTypeIcon), ResourceName::number(40), kLangNeutral, dib(40));
    EXPECT_EQ(first_icon_group(named)->at(0).data, dib(40));
    EXPECT_EQ(first_icon_group(named)->at(0).width, 32);
    EXPECT_FALSE(first_icon_group(ResourceTree{}).has_value());
}

}  // namespace
}  // namespace plinth::pack
