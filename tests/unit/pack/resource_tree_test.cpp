#include "resource_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "pack/hostile_pe.h"
#include "pack/synthetic_pe.h"
#include "resource_writer.h"

namespace plinth::pack {
namespace {

using testing::build_stub;
using testing::build_stub_with_resources;
using testing::kStubResourceRva;

// The data of most resources here: one byte each keeps large trees small.
const ResourceData kByte{Bytes{1}, 0};

Result<ResourceTree> read_section(Bytes contents, Bytes overlay = {}) {
    return read_stub_resources(build_stub_with_resources(std::move(contents), std::move(overlay)));
}

void expect_refused(const Result<ResourceTree>& read, const std::string& text, const std::string& what) {
    ASSERT_FALSE(read.ok()) << what;
    EXPECT_NE(read.error().text.find(text), std::string::npos) << what << ": " << read.error().text;
}

// The tree's section as the writer makes it, after checking that the reader gives the tree back
// (a failure is recorded, and nothing returned).
Bytes written_and_read_back(const ResourceTree& tree) {
    auto contents = serialize_resource_tree(tree, kStubResourceRva);
    EXPECT_TRUE(contents.ok()) << contents.error().text;
    if (!contents.ok()) return {};
    auto read = read_section(*contents);
    EXPECT_TRUE(read.ok()) << read.error().text;
    if (read.ok()) {
        EXPECT_EQ(*read, tree);
    }
    return *contents;
}

ResourceTree two_types_one_name_each() {
    ResourceTree tree;
    tree.set(ResourceName::number(kTypeRcData), ResourceName::number(1), kLangNeutral, Bytes{1});
    tree.set(ResourceName::number(kTypeManifest), ResourceName::number(1), kLangNeutral, Bytes{2});
    return tree;
}

// Directories reached twice are refused at once, however many entries lead to them: a root
// and a type directory of 131,070 entries each once cost 1.7e10 visits.
TEST(ResourceTree, SharedOrLoopingDirectoriesAreRefused) {
    // The second type directory's one entry leads to the first one's name directory. Layout:
    // root (16 + 2 * 8), type directories at 32 and 56, name directories at 80 and 104.
    Bytes shared_name_directory = *serialize_resource_tree(two_types_one_name_each(), kStubResourceRva);
    put_u32(shared_name_directory, 56 + 16 + 4, 0x80000000u | 80);
    const std::pair<const char*, Bytes> cases[] = {
        {"two entries share the type directory", testing::shared_directory_resources(0, 2, 0, 1)},
        {"a named and a numbered entry share it", testing::shared_directory_resources(1, 1, 3, 1)},
        {"131070 entries a level, no leaf", testing::shared_directory_resources(0xffff, 0xffff, 1)},
        {"131070 entries a level, long names", testing::shared_directory_resources(0xffff, 0xffff, 0xffff)},
        {"two types share a name directory", shared_name_directory},
        {"the root leads to itself", testing::looping_resources()},
    };
    for (const auto& [what, contents] : cases) expect_refused(read_section(contents), "shared or loop back", what);

    // The same shapes without sharing read.
    auto single = read_section(testing::shared_directory_resources(0, 1, 0, 1));
    ASSERT_TRUE(single.ok()) << single.error().text;
    EXPECT_EQ(single->types.size(), 1u);
    auto separate = read_section(*serialize_resource_tree(two_types_one_name_each(), kStubResourceRva));
    ASSERT_TRUE(separate.ok()) << separate.error().text;
    EXPECT_EQ(*separate, two_types_one_name_each());
}

// Exactly kMaxResourceEntries directory entries (types + names + languages): 3 + 131070 + 131071.
ResourceTree tree_at_the_entry_bound() {
    ResourceTree tree;
    auto& types = tree.types;
    for (std::uint32_t id = 0; id < 0xffff; ++id) {
        types[ResourceName::number(1)][ResourceName::number(static_cast<std::uint16_t>(id))][0] = kByte;
    }
    for (std::uint32_t id = 0; id < 0xfffe; ++id) {
        types[ResourceName::number(2)][ResourceName::number(static_cast<std::uint16_t>(id))][0] = kByte;
    }
    types[ResourceName::number(3)][ResourceName::number(1)][0] = kByte;
    types[ResourceName::number(3)][ResourceName::number(1)][1] = kByte;
    return tree;
}

TEST(ResourceTree, DirectoryEntriesOfAllLevelsShareOneBound) {
    ResourceTree tree = tree_at_the_entry_bound();
    Bytes contents = written_and_read_back(tree);
    ASSERT_FALSE(::testing::Test::HasFailure());

    // One entry more: the writer refuses the tree, the reader a root that claims one more type.
    ResourceTree over = tree;
    over.types[ResourceName::number(3)][ResourceName::number(1)][2] = kByte;
    auto refused = serialize_resource_tree(over, kStubResourceRva);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().text.find("more than 262144 directory entries"), std::string::npos) << refused.error().text;
    put_u16(contents, 14, 4);
    expect_refused(read_section(contents), "more than 262144 directory entries", "one root entry more");
}

// Named types whose names add up to exactly kMaxResourceNameUnits: 16 of 65535 units and one
// of 16 ("SIXTEEN-UNITS-XY").
ResourceTree tree_at_the_name_bound() {
    ResourceTree tree;
    for (char16_t first = u'A'; first < u'A' + 16; ++first) {
        std::u16string name(0xffff, u'n');
        name[0] = first;
        tree.set(ResourceName::named(name), ResourceName::number(1), kLangNeutral, Bytes{1});
    }
    tree.set(ResourceName::named(u"SIXTEEN-UNITS-XY"), ResourceName::number(1), kLangNeutral, Bytes{1});
    return tree;
}

TEST(ResourceTree, NamesShareOneBoundOnTheirLength) {
    ResourceTree tree = tree_at_the_name_bound();
    Bytes contents = written_and_read_back(tree);
    ASSERT_FALSE(::testing::Test::HasFailure());

    ResourceTree over = tree;
    over.set(ResourceName::number(kTypeRcData), ResourceName::named(u"X"), kLangNeutral, Bytes{1});
    auto refused = serialize_resource_tree(over, kStubResourceRva);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().text.find("names are too long"), std::string::npos) << refused.error().text;

    // The short name one unit longer in the file (its first unit is read as the 17th).
    const std::u16string marker = u"SIXTEEN-UNITS-XY";
    Bytes needle;
    append_u16(needle, 16);
    for (char16_t unit : marker) append_u16(needle, unit);
    const auto at = std::search(contents.begin(), contents.end(), needle.begin(), needle.end());
    ASSERT_NE(at, contents.end());
    put_u16(contents, static_cast<std::size_t>(at - contents.begin()), 17);
    expect_refused(read_section(contents), "names add up to more than 1048576 characters", "one unit more");
}

// Resources don't share bytes, so together they fit in the file: leaves that all point at one
// blob are refused once they add up to more than the file holds.
TEST(ResourceTree, DataAddingUpToMoreThanTheFileIsRefused) {
    const std::uint16_t leaves = 64;
    const std::uint32_t blob = 64 * 1024;
    const Bytes contents = testing::shared_blob_resources(leaves, blob);
    const std::size_t total = std::size_t{leaves} * blob;
    const std::size_t base = build_stub_with_resources(contents).size();
    ASSERT_LT(base, total);
    // An overlay makes the file exactly as large as the resources add up to, then one byte smaller.
    auto fits = read_section(contents, Bytes(total - base, 0));
    ASSERT_TRUE(fits.ok()) << fits.error().text;
    EXPECT_EQ(fits->types.at(ResourceName::number(kTypeRcData)).size(), leaves);
    expect_refused(read_section(contents, Bytes(total - base - 1, 0)), "more bytes than the file holds", "one byte short");
    // 65535 leaves sharing 32 KiB once asked for 2 GiB.
    expect_refused(read_section(testing::shared_blob_resources(0xffff, 32 * 1024)), "more bytes than the file holds",
                   "65535 leaves sharing 32 KiB");
}

// Each count of a directory is a 16-bit field: a directory of more is refused, not cut short.
TEST(ResourceTree, WriterRefusesMoreThan65535EntriesOfAKindInOneDirectory) {
    struct Case {
        const char* where;
        std::function<void(ResourceTree&, std::uint32_t)> add;  // adds entry number i
    };
    const auto id = [](std::uint32_t i) { return ResourceName::number(static_cast<std::uint16_t>(i)); };
    const auto text = [](std::uint32_t i) { return ResourceName::named(u"N" + std::u16string(1, static_cast<char16_t>(i))); };
    const Case cases[] = {
        {"root, numbered", [&](ResourceTree& t, std::uint32_t i) { t.types[id(i)][id(1)][0] = kByte; }},
        {"root, named", [&](ResourceTree& t, std::uint32_t i) { t.types[text(i)][id(1)][0] = kByte; }},
        {"type, numbered", [&](ResourceTree& t, std::uint32_t i) { t.types[id(kTypeIcon)][id(i)][0] = kByte; }},
        {"type, named", [&](ResourceTree& t, std::uint32_t i) { t.types[id(kTypeIcon)][text(i)][0] = kByte; }},
        {"languages", [&](ResourceTree& t, std::uint32_t i) {
             t.types[id(kTypeIcon)][id(1)][static_cast<std::uint16_t>(i)] = kByte;
         }},
    };
    for (const Case& c : cases) {
        ResourceTree tree;
        for (std::uint32_t i = 0; i < 0xffff; ++i) c.add(tree, i);
        auto written = serialize_resource_tree(tree, kStubResourceRva);
        ASSERT_TRUE(written.ok()) << c.where << ": " << written.error().text;
        auto read = read_section(*written);
        ASSERT_TRUE(read.ok()) << c.where << ": " << read.error().text;
        EXPECT_EQ(*read, tree) << c.where;

        c.add(tree, 0xffff);
        auto refused = serialize_resource_tree(tree, kStubResourceRva);
        ASSERT_FALSE(refused.ok()) << c.where;
        EXPECT_NE(refused.error().text.find("too many resources in one directory"), std::string::npos)
            << c.where << ": " << refused.error().text;
    }
}

}  // namespace
}  // namespace plinth::pack
