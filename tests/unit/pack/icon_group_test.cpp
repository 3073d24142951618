#include "icon_group.h"

#include <gtest/gtest.h>

#include "pack/hostile_pe.h"

namespace plinth::pack {
namespace {

// The first icon group, which these trees must be able to give.
std::optional<IconSet> first_group(const ResourceTree& tree) {
    auto group = first_icon_group(tree);
    EXPECT_TRUE(group.ok()) << group.error().text;
    return group.ok() ? *group : std::nullopt;
}

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
    EXPECT_TRUE(put_icon_group(tree, 1, *parse_ico(ico({dib(1), dib(2)})), kLangEnglishUs).ok());
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
    EXPECT_TRUE(put_icon_group(tree, 1, replacement, kLangNeutral).ok());

    const auto& icons = tree.types.at(ResourceName::number(kTypeIcon));
    std::vector<std::uint16_t> ids;
    for (const auto& [name, languages] : icons) ids.push_back(*name.id);
    // Icon 1 was only group 1's: freed and reused; 2 and 3 stay for group 5; new ones take 1, 4, 5.
    EXPECT_EQ(ids, (std::vector<std::uint16_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(first_group(tree), replacement);
    // The group keeps the old group's language.
    EXPECT_TRUE(tree.find(ResourceName::number(kTypeGroupIcon), ResourceName::number(1))->contains(kLangEnglishUs));
    EXPECT_EQ(tree.find(ResourceName::number(kTypeIcon), ResourceName::number(2))->at(kLangEnglishUs).bytes, dib(2));
}

TEST(IconGroup, FirstGroupIsTheFirstInDirectoryOrderAndMustBeComplete) {
    ResourceTree tree;
    EXPECT_TRUE(put_icon_group(tree, 7, *parse_ico(ico({dib(7)})), kLangEnglishUs).ok());
    EXPECT_EQ(first_group(tree)->at(0).data, dib(7));
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
    EXPECT_FALSE(first_group(named).has_value());
    named.set(ResourceName::number(kTypeIcon), ResourceName::number(40), kLangNeutral, dib(40));
    EXPECT_EQ(first_group(named)->at(0).data, dib(40));
    EXPECT_EQ(first_group(named)->at(0).width, 32);
    EXPECT_FALSE(first_group(ResourceTree{}).has_value());
}

// The images' bytes are bounded in all, so entries that share one image don't multiply it: 16
// entries of 1 MiB fill the bound, one more byte is refused. A file of 65535 entries sharing
// 1 MiB once asked for 64 GiB.
TEST(IconFile, ImagesAddUpToAtMostTheBound) {
    const std::size_t mib = 1u << 20;
    Bytes at_bound = testing::ico_sharing_one_image(16, testing::dib_image(mib + 1, 3));
    for (std::size_t i = 0; i < 16; ++i) put_u32(at_bound, 6 + 16 * i + 8, static_cast<std::uint32_t>(mib));
    auto icons = parse_ico(at_bound);
    ASSERT_TRUE(icons.ok()) << icons.error().text;
    EXPECT_EQ(icons->size(), 16u);
    EXPECT_EQ(icons->back().data.size(), mib);

    Bytes over = at_bound;
    put_u32(over, 6 + 16 * 15 + 8, static_cast<std::uint32_t>(mib + 1));
    const std::pair<const char*, Bytes> refused[] = {
        {"one byte over", over},
        {"65535 entries sharing 1 MiB", testing::ico_sharing_one_image(0xffff, testing::dib_image(mib, 4))},
    };
    for (const auto& [what, bytes] : refused) {
        auto result = parse_ico(bytes);
        ASSERT_FALSE(result.ok()) << what;
        EXPECT_NE(result.error().text.find("add up to more than 16 MiB"), std::string::npos) << what << ": " << result.error().text;
    }
}

TEST(IconGroup, AnExecutablesGroupAddsUpToAtMostTheBound) {
    const std::uint32_t mib = 1u << 20;
    struct Case {
        const char* what;
        std::size_t entries;
        std::uint32_t image_size;
        bool fits;
    };
    const Case cases[] = {
        {"16 entries of 1 MiB", 16, mib, true},
        {"16 entries of 1 MiB + 1", 16, mib + 1, false},
        {"65535 entries of 1 MiB", 0xffff, mib, false},
    };
    for (const Case& c : cases) {
        ResourceTree tree;
        tree.set(ResourceName::number(kTypeIcon), ResourceName::number(1), kLangNeutral, testing::dib_image(c.image_size, 5));
        tree.set(ResourceName::number(kTypeGroupIcon), ResourceName::number(1), kLangNeutral,
                 testing::icon_group_resource(std::vector<std::uint16_t>(c.entries, 1), c.image_size));
        auto group = first_icon_group(tree);
        if (c.fits) {
            ASSERT_TRUE(group.ok()) << c.what << ": " << group.error().text;
            ASSERT_TRUE(group->has_value()) << c.what;
            EXPECT_EQ((*group)->size(), c.entries) << c.what;
        } else {
            ASSERT_FALSE(group.ok()) << c.what;
            EXPECT_NE(group.error().text.find("add up to more than 16 MiB"), std::string::npos) << c.what;
        }
    }
}

// Icon ids run from 1 to 65535: a group gets the lowest free ones, never 0, and is refused,
// leaving the tree as it was, when too few are free.
TEST(IconGroup, IdsRunOutAtTheirBoundAndZeroIsNeverUsed) {
    struct Case {
        const char* what;
        std::vector<std::uint16_t> kept;  // icons of another group
        std::size_t free;                 // ids left for the new group
    };
    const Case cases[] = {
        {"icons 2 and 3 kept", {2, 3}, 0xffff - 2},
        {"icon 65535 kept", {0xffff}, 0xffff - 1},
        {"an icon 0 kept", {0}, 0xffff},
        {"group 1's old icons freed", {}, 0xffff},
    };
    for (const Case& c : cases) {
        ResourceTree stub = testing::plain_stub_tree();
        for (std::uint16_t id : c.kept) stub.set(ResourceName::number(kTypeIcon), ResourceName::number(id), kLangNeutral, dib(9));
        if (!c.kept.empty()) {
            stub.set(ResourceName::number(kTypeGroupIcon), ResourceName::number(5), kLangNeutral,
                     testing::icon_group_resource(c.kept, 48));
        }
        for (std::size_t count : {c.free, c.free + 1}) {
            ResourceTree tree = stub;
            const IconSet icons(count, IconImage{16, 16, 0, 1, 32, png(1)});
            auto put = put_icon_group(tree, 1, icons, kLangNeutral);
            if (count > c.free) {
                ASSERT_FALSE(put.ok()) << c.what << ", " << count;
                EXPECT_NE(put.error().text.find("only " + std::to_string(c.free) + " icon ids are free"), std::string::npos)
                    << c.what << ": " << put.error().text;
                EXPECT_EQ(tree, stub) << c.what;
                continue;
            }
            ASSERT_TRUE(put.ok()) << c.what << ": " << put.error().text;
            const auto group = first_group(tree);
            ASSERT_TRUE(group.has_value()) << c.what;
            EXPECT_EQ(group->size(), count) << c.what;
            // Every id of the new group is a distinct nonzero one that no kept icon had.
            const Bytes& raw = tree.find(ResourceName::number(kTypeGroupIcon), ResourceName::number(1))->begin()->second.bytes;
            std::vector<bool> seen(0x10000);
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint16_t id = *read_u16(raw, 6 + 14 * i + 12);
                ASSERT_NE(id, 0) << c.what;
                ASSERT_FALSE(seen[id]) << c.what << ": id " << id << " twice";
                ASSERT_EQ(std::count(c.kept.begin(), c.kept.end(), id), 0) << c.what << ": id " << id;
                seen[id] = true;
            }
        }
    }
}

}  // namespace
}  // namespace plinth::pack
