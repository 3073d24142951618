#include "resource_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "pack/synthetic_pe.h"

namespace plinth::pack {
namespace {

using testing::build_pe;
using testing::build_stub;
using testing::SyntheticPe;

Bytes filled(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 13);
    return bytes;
}

ResourceTree small_tree() {
    ResourceTree tree;
    tree.set(ResourceName::number(kTypeManifest), ResourceName::number(1), kLangEnglishUs, filled(40, 1));
    tree.set(ResourceName::number(kTypeIcon), ResourceName::number(1), kLangEnglishUs, filled(100, 2));
    return tree;
}

PeImage read_ok(const Bytes& bytes) {
    auto image = read_pe_image(bytes);
    EXPECT_TRUE(image.ok()) << image.error().text;
    return *image;
}

const Section& section_named(const PeImage& image, const std::string& name) {
    for (const Section& s : image.sections) {
        if (s.name == name) return s;
    }
    throw std::runtime_error("no section " + name);
}

TEST(ResourceWriter, GrowingTheResourcesMovesTheLaterSectionsAndKeepsTheOverlay) {
    const Bytes overlay = filled(77, 9);
    const Bytes stub = build_stub(small_tree(), overlay);
    const PeImage before = read_ok(stub);

    ResourceTree tree = small_tree();
    tree.set(ResourceName::number(kTypeRcData), ResourceName::number(1), kLangNeutral, filled(0x2345, 3));
    tree.set(ResourceName::named(u"CUSTOM"), ResourceName::named(u"DATA"), kLangNeutral, filled(5, 4));
    auto packed = replace_resources(stub, tree);
    ASSERT_TRUE(packed.ok()) << packed.error().text;
    const PeImage after = read_ok(*packed);

    // The resources read back exactly.
    auto read_back = read_resource_tree(after);
    ASSERT_TRUE(read_back.ok()) << read_back.error().text;
    EXPECT_EQ(*read_back, tree);

    // Code untouched, .reloc moved with its bytes and its directory, overlay kept at the end.
    const Section& text = section_named(after, ".text");
    EXPECT_TRUE(std::ranges::equal(*after.bytes_at_rva(text.virtual_address, 0x300),
                                   *before.bytes_at_rva(text.virtual_address, 0x300)));
    const Section& old_reloc = section_named(before, ".reloc");
    const Section& reloc = section_named(after, ".reloc");
    const Section& rsrc = section_named(after, ".rsrc");
    EXPECT_EQ(reloc.virtual_address, rsrc.virtual_address + align_up(rsrc.virtual_size, 0x1000));
    EXPECT_EQ(reloc.raw_pointer, rsrc.raw_pointer + rsrc.raw_size);
    EXPECT_EQ(after.directories[kDirBaseReloc].rva, reloc.virtual_address);
    ASSERT_TRUE(after.bytes_at_rva(reloc.virtual_address, 12).has_value());
    EXPECT_TRUE(std::ranges::equal(*after.bytes_at_rva(reloc.virtual_address, 12),
                                   *before.bytes_at_rva(old_reloc.virtual_address, 12)));
    EXPECT_TRUE(std::equal(overlay.begin(), overlay.end(), packed->end() - overlay.size()));
    EXPECT_EQ(after.end_of_sections() + overlay.size(), packed->size());

    // Header bookkeeping.
    EXPECT_EQ(after.directories[kDirResource].rva, rsrc.virtual_address);
    EXPECT_EQ(after.directories[kDirResource].size, rsrc.virtual_size);
    EXPECT_EQ(rsrc.raw_size % after.file_alignment, 0u);
    EXPECT_GE(rsrc.raw_size, rsrc.virtual_size);
    EXPECT_EQ(after.size_of_image, reloc.virtual_address + 0x1000);
    EXPECT_EQ(after.checksum, pe_checksum(*packed, after.checksum_offset()));
    EXPECT_NE(after.checksum, before.checksum);
}

TEST(ResourceWriter, ShrinkingTheResourcesMovesTheLaterSectionsBack) {
    ResourceTree big = small_tree();
    big.set(ResourceName::number(kTypeRcData), ResourceName::number(1), kLangNeutral, filled(0x5000, 5));
    const Bytes stub = build_stub(big, filled(10, 1));
    auto packed = replace_resources(stub, small_tree());
    ASSERT_TRUE(packed.ok()) << packed.error().text;
    const PeImage after = read_ok(*packed);
    EXPECT_EQ(section_named(after, ".reloc").virtual_address, 0x3000u);
    EXPECT_EQ(after.size_of_image, 0x4000u);
    EXPECT_EQ(*read_resource_tree(after), small_tree());
    EXPECT_LT(packed->size(), stub.size());
}

TEST(ResourceWriter, SameInputsGiveIdenticalBytes) {
    const Bytes stub = build_stub(small_tree());
    ResourceTree tree = small_tree();
    tree.set(ResourceName::number(kTypeRcData), ResourceName::number(1), kLangNeutral, filled(999, 6));
    EXPECT_EQ(*replace_resources(stub, tree), *replace_resources(stub, tree));
    // Rewriting with the tree the stub already has reproduces the stub.
    EXPECT_EQ(*replace_resources(stub, small_tree()), stub);
}

TEST(ResourceWriter, ImageSizeLimitIsABoundary) {
    const Bytes stub = build_stub(small_tree());
    ResourceTree tree = small_tree();
    tree.set(ResourceName::number(kTypeRcData), ResourceName::number(1), kLangNeutral, filled(0x1800, 7));
    auto unlimited = replace_resources(stub, tree);
    ASSERT_TRUE(unlimited.ok());
    const PeImage image = read_ok(*unlimited);
    const std::uint64_t needed = std::max<std::uint64_t>(image.size_of_image, unlimited->size());
    EXPECT_TRUE(replace_resources(stub, tree, needed).ok());
    auto refused = replace_resources(stub, tree, needed - 1);
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().text.find("too large"), std::string::npos);
}

// Leaves whose data is partly in a stream store, written in pieces to a sink, give the bytes the
// in-memory writer gives for the same data held whole: odd sizes, an empty head or stored part,
// a span that doesn't start the store, and one longer than the writer's 1 MiB piece.
TEST(ResourceWriter, StoredPartsWrittenInPiecesGiveTheWholeTreesBytes) {
    const Bytes stub = build_stub(small_tree(), filled(33, 8));
    struct Leaf {
        std::size_t head;
        std::size_t stored;
    };
    const std::vector<std::vector<Leaf>> cases = {
        {{12, 0}},
        {{0, 1}},
        {{13, 7}, {1, 1}},
        {{40, (1 << 20) + 3}, {0, 5}, {9, 100}},
    };
    for (const auto& leaves : cases) {
        MemoryStreamStore store;
        ASSERT_TRUE(store.append(filled(11, 99)).ok());  // the spans don't start the store
        ResourceTree stored = small_tree();
        ResourceTree whole = small_tree();
        for (std::uint16_t id = 0; id < leaves.size(); ++id) {
            const Bytes head = filled(leaves[id].head, static_cast<std::uint8_t>(id));
            const Bytes tail = filled(leaves[id].stored, static_cast<std::uint8_t>(id + 50));
            auto span = store.append(tail);
            ASSERT_TRUE(span.ok());
            stored.set(ResourceName::number(kTypeRcData), ResourceName::number(id + 1), kLangNeutral, head, *span);
            Bytes all = head;
            all.insert(all.end(), tail.begin(), tail.end());
            whole.set(ResourceName::number(kTypeRcData), ResourceName::number(id + 1), kLangNeutral, all);
        }
        const auto expected = replace_resources(stub, whole);
        ASSERT_TRUE(expected.ok()) << expected.error().text;
        Bytes out;
        MemorySink sink(out);
        ASSERT_TRUE(write_with_resources(stub, stored, &store, sink).ok()) << leaves.size();
        EXPECT_EQ(out, *expected) << leaves.size() << " leaves";

        // Refused for its size, it writes nothing at all.
        Bytes refused_out;
        MemorySink refused_sink(refused_out);
        EXPECT_FALSE(write_with_resources(stub, stored, &store, refused_sink, expected->size() - 1).ok());
        EXPECT_TRUE(refused_out.empty());
    }
}

// The checksum of the installer written in pieces: any split, a piece that ends inside the
// checksum field or starts at an odd offset, gives the whole file's.
TEST(ResourceWriter, TheChecksumInPiecesIsTheWholeFilesChecksum) {
    const Bytes file = filled(1001, 3);
    for (const std::vector<std::size_t>& cuts : std::vector<std::vector<std::size_t>>{
             {}, {1}, {2, 3}, {63, 66, 67, 68, 69}, {500, 999, 1000}, {64, 68}}) {
        PeChecksum sum(64);
        std::size_t from = 0;
        for (std::size_t cut : cuts) {
            sum.add(ByteView(file).subspan(from, cut - from));
            from = cut;
        }
        sum.add(ByteView(file).subspan(from));
        EXPECT_EQ(sum.value(), pe_checksum(file, 64)) << cuts.size() << " cuts";
    }
}

SyntheticPe plain_pe() {
    SyntheticPe pe;
    pe.sections.push_back({".text", filled(0x100, 1), 0x60000020});
    auto contents = serialize_resource_tree(small_tree(), 0x2000);
    pe.sections.push_back({".rsrc", *contents, 0xc0000040});
    pe.resource_section = 1;
    return pe;
}

struct RefusedStub {
    const char* what;
    Bytes bytes;
    const char* message;
};

TEST(ResourceWriter, RefusesStubsItCannotRewriteSafely) {
    std::vector<RefusedStub> cases;
    cases.push_back({"empty file", {}, "no MZ header"});
    cases.push_back({"text file", Bytes(200, 'a'), "no MZ header"});
    {
        Bytes bytes = build_pe(plain_pe());
        put_u32(bytes, 0x3c, static_cast<std::uint32_t>(bytes.size() - 2));
        cases.push_back({"PE offset past the end", bytes, "beyond the end"});
    }
    {
        Bytes bytes = build_pe(plain_pe());
        bytes[0x80] = 'X';
        cases.push_back({"no PE signature", bytes, "no PE signature"});
    }
    {
        SyntheticPe pe = plain_pe();
        pe.machine = 0x14c;
        cases.push_back({"i386", build_pe(pe), "not an x86-64"});
    }
    {
        SyntheticPe pe = plain_pe();
        pe.pe32_plus = false;
        cases.push_back({"PE32 header", build_pe(pe), "not an x86-64"});
    }
    {
        SyntheticPe pe = plain_pe();
        pe.overlay = filled(0x100, 2);
        pe.security = {0x600, 0x100};
        cases.push_back({"signed", build_pe(pe), "already signed"});
    }
    {
        SyntheticPe pe = plain_pe();
        pe.sections.push_back({".data", filled(0x20, 3), 0xc0000040});
        cases.push_back({"loaded section after .rsrc", build_pe(pe), "not the last section"});
    }
    {
        SyntheticPe pe = plain_pe();
        pe.sections.push_back({".reloc", Bytes{0x00, 0x20, 0, 0, 0x0c, 0, 0, 0, 0x10, 0xa0, 0, 0}, 0x42000040});
        pe.reloc_section = 2;
        cases.push_back({"relocation inside .rsrc", build_pe(pe), "relocations patch the resource section"});
    }
    {
        SyntheticPe pe = plain_pe();
        pe.reloc_section = 1;
        cases.push_back({"relocations inside .rsrc", build_pe(pe), "lies inside the resource section"});
    }
    {
        SyntheticPe pe = plain_pe();
        pe.resource_section = -1;
        cases.push_back({"no resources", build_pe(pe), "no resource section"});
    }
    {
        Bytes bytes = build_pe(plain_pe());
        bytes.resize(bytes.size() - 1);
        cases.push_back({"last section cut by one byte", bytes, "runs past the end of the file"});
    }
    for (const RefusedStub& c : cases) {
        auto result = replace_resources(c.bytes, small_tree());
        ASSERT_FALSE(result.ok()) << c.what;
        EXPECT_NE(result.error().text.find(c.message), std::string::npos) << c.what << ": " << result.error().text;
    }
}

// The new resources are written from the section's start: a section starting inside the
// headers would have them written over the headers. SizeOfHeaders ending exactly where the
// section starts is accepted, one byte more is refused, and so is a section at byte 0.
TEST(ResourceWriter, RefusesAResourceSectionThatStartsInsideTheHeaders) {
    const Bytes plain = build_pe(plain_pe());
    const std::uint32_t size_of_headers_at = testing::pe_offset(plain) + 24 + 60;
    const std::uint32_t raw_pointer_at = testing::section_header_offset(plain, 1) + 20;
    const std::uint32_t rsrc_start = *read_u32(plain, raw_pointer_at);
    // .text without file data: then nothing but the check stands between .rsrc and the headers.
    Bytes no_text_data = plain;
    put_u32(no_text_data, testing::section_header_offset(plain, 0) + 16, 0);
    put_u32(no_text_data, testing::section_header_offset(plain, 0) + 20, 0);
    struct Case {
        const char* what;
        const Bytes& base;
        std::uint32_t field;
        std::uint32_t value;
        bool accepted;
    };
    const Case cases[] = {
        {"headers end where the section starts", plain, size_of_headers_at, rsrc_start, true},
        {"headers end one byte into the section", plain, size_of_headers_at, rsrc_start + 1, false},
        {"section at byte 0", no_text_data, raw_pointer_at, 0, false},
        {"section at byte 0, .text before it", plain, raw_pointer_at, 0, false},
    };
    for (const Case& c : cases) {
        Bytes stub = c.base;
        put_u32(stub, c.field, c.value);
        auto packed = replace_resources(stub, small_tree());
        if (c.accepted) {
            ASSERT_TRUE(packed.ok()) << c.what << ": " << packed.error().text;
            EXPECT_EQ(*read_resource_tree(read_ok(*packed)), small_tree()) << c.what;
            EXPECT_TRUE(std::equal(stub.begin(), stub.begin() + 0x40, packed->begin())) << c.what;
        } else {
            ASSERT_FALSE(packed.ok()) << c.what;
            EXPECT_NE(packed.error().text.find("starts inside the headers"), std::string::npos)
                << c.what << ": " << packed.error().text;
        }
    }
}

// An empty resource written last lies exactly at the section's end (an empty package from
// "raw"): the written installer must read back, past the end it must not.
TEST(ResourceWriter, EmptyResourceAtTheSectionEndReadsBack) {
    const Bytes stub = build_stub(small_tree());
    ResourceTree tree = small_tree();
    tree.set(ResourceName::number(kTypeRcData), ResourceName::number(1), kLangNeutral, Bytes{});
    const auto written = replace_resources(stub, tree);
    ASSERT_TRUE(written.ok()) << written.error().text;
    const auto back = read_stub_resources(*written);
    ASSERT_TRUE(back.ok()) << back.error().text;
    EXPECT_EQ(*back, tree);
    const PeImage image = read_ok(*written);
    const Section& last = image.sections.back();
    EXPECT_TRUE(image.bytes_at_rva(last.virtual_address + last.virtual_extent(), 0).has_value());
    EXPECT_FALSE(image.bytes_at_rva(last.virtual_address + last.virtual_extent() + 1, 0).has_value());
}

TEST(ResourceWriter, SectionEndingExactlyAtTheFileEndIsAccepted) {
    const Bytes bytes = build_pe(plain_pe());
    EXPECT_EQ(read_ok(bytes).end_of_sections(), bytes.size());
    EXPECT_TRUE(replace_resources(bytes, small_tree()).ok());
}

// A data entry whose bytes end exactly at the end of the section's raw data reads; one byte
// more does not.
TEST(ResourceWriter, ResourceDataAtTheSectionEndIsABoundary) {
    for (std::uint32_t extra : {0u, 1u}) {
        ResourceTree tree;
        tree.set(ResourceName::number(kTypeRcData), ResourceName::number(1), kLangNeutral, Bytes{});
        SyntheticPe pe = plain_pe();
        Bytes contents = *serialize_resource_tree(tree, 0x2000);
        const std::uint32_t raw_size = 0x200;
        // The one data entry: point its data at the last 16 bytes of the raw section (+extra).
        const std::size_t entry_at = contents.size() - 16;
        put_u32(contents, entry_at, 0x2000 + raw_size - 16);
        put_u32(contents, entry_at + 4, 16 + extra);
        contents.resize(raw_size, 0xab);
        pe.sections[1] = {".rsrc", contents, 0xc0000040};
        const Bytes bytes = build_pe(pe);
        auto read = read_stub_resources(bytes);
        if (extra == 0) {
            ASSERT_TRUE(read.ok()) << read.error().text;
            EXPECT_EQ(read->find(ResourceName::number(kTypeRcData), ResourceName::number(1))->at(0).bytes, Bytes(16, 0xab));
        } else {
            ASSERT_FALSE(read.ok());
            EXPECT_NE(read.error().text.find("outside the file"), std::string::npos) << read.error().text;
        }
    }
}

TEST(ResourceTree, DamagedTreesAreRefusedNotFollowed) {
    const Bytes good = *serialize_resource_tree(small_tree(), 0x2000);
    struct Case {
        const char* what;
        std::size_t offset;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"type entry points past the section", 16 + 4, 0x80000000u | 0x7000},
        {"type entry is a leaf", 16 + 4, 0x40},
        {"entry count past the section", 14, 0xffff},
    };
    for (const Case& c : cases) {
        SyntheticPe pe = plain_pe();
        Bytes contents = good;
        if (c.offset == 14) {
            put_u16(contents, c.offset, static_cast<std::uint16_t>(c.value));
        } else {
            put_u32(contents, c.offset, c.value);
        }
        pe.sections[1].data = contents;
        EXPECT_FALSE(read_stub_resources(build_pe(pe)).ok()) << c.what;
    }
}

}  // namespace
}  // namespace plinth::pack
