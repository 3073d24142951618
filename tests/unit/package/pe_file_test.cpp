#include "package/pe_file.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "installer_builder.h"
#include "pack/hostile_pe.h"
#include "pack/synthetic_pe.h"
#include "package/container.h"
#include "package/installer_file.h"
#include "pe_image.h"
#include "resource_writer.h"

namespace plinth {
namespace {

using pack::Bytes;
using pack::ResourceName;
using pack::ResourceTree;
using pack::testing::build_stub;
using pack::testing::build_stub_with_resources;
using pack::testing::section_header_offset;

// Integer-named resources in two languages, and named ones the layout leaves out.
ResourceTree mixed_tree() {
    ResourceTree tree;
    tree.set(ResourceName::number(pack::kTypeRcData), ResourceName::number(1), 0, Bytes(300, 'a'));
    tree.set(ResourceName::number(pack::kTypeRcData), ResourceName::number(3), 1033, Bytes(5, 'c'));
    tree.set(ResourceName::number(pack::kTypeRcData), ResourceName::named(u"EXTRA"), 0, Bytes(7, 'e'));
    tree.set(ResourceName::named(u"PNG"), ResourceName::number(1), 0, Bytes(9, 'p'));
    tree.set(ResourceName::number(pack::kTypeManifest), ResourceName::number(1), 1033, Bytes(30, 'm'));
    return tree;
}

Bytes bytes_of(const Bytes& file, const PeResource& resource) {
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(resource.offset),
                 file.begin() + static_cast<std::ptrdiff_t>(resource.offset + resource.size));
}

TEST(PeFile, LayoutGivesSectionsAndIntegerNamedResourcesWithTheirFileBytes) {
    const Bytes file = build_stub(mixed_tree(), Bytes{1, 2, 3});
    const auto layout = read_pe_layout(file);
    ASSERT_TRUE(layout);

    // The sections as the packer's own reader sees them; the overlay starts after the last.
    const auto image = pack::read_pe_image(file);
    ASSERT_TRUE(image.ok());
    ASSERT_EQ(layout->sections.size(), image->sections.size());
    for (std::size_t i = 0; i < layout->sections.size(); ++i) {
        EXPECT_EQ(layout->sections[i].rva, image->sections[i].virtual_address);
        EXPECT_EQ(layout->sections[i].virtual_size, image->sections[i].virtual_size);
        EXPECT_EQ(layout->sections[i].file_offset, image->sections[i].raw_pointer);
        EXPECT_EQ(layout->sections[i].file_size, image->sections[i].raw_size);
    }
    EXPECT_EQ(layout->headers_size, image->size_of_headers);
    EXPECT_EQ(layout->end_of_sections, file.size() - 3);
    EXPECT_EQ(layout->resource_section, std::optional<std::size_t>(1));

    // Type, id, language, in the directory's order; the named type and name are left out.
    ASSERT_EQ(layout->resources.size(), 3u);
    EXPECT_EQ(layout->resources[2].type, pack::kTypeManifest);
    EXPECT_EQ(layout->resources[2].language, 1033u);
    EXPECT_EQ(bytes_of(file, layout->resources[2]), Bytes(30, 'm'));
    const auto one = find_rcdata(*layout, 1);
    const auto three = find_rcdata(*layout, 3);
    ASSERT_TRUE(one && three);
    EXPECT_EQ(bytes_of(file, *one), Bytes(300, 'a'));
    EXPECT_EQ(three->language, 1033u);
    EXPECT_EQ(bytes_of(file, *three), Bytes(5, 'c'));
    EXPECT_FALSE(find_rcdata(*layout, 2));

    // The directory part starts at the section and ends before the first data, names included
    // (the writer puts the names after the entries).
    EXPECT_EQ(layout->resource_directory_offset, layout->sections[1].file_offset);
    std::uint64_t first_data = UINT64_MAX;
    for (const PeResource& resource : layout->resources) first_data = std::min(first_data, resource.offset);
    EXPECT_LE(layout->resource_directory_offset + layout->resource_directory_size, first_data);
    EXPECT_GT(layout->resource_directory_size, 16u + 3 * 8 + 2 * 5);  // root, types and the name "PNG"
}

TEST(PeFile, ReadsBackTheInstallerThePackerBuilds) {
    pack::InstallerInputs in;
    in.manifest_json = R"({"name": "Notes", "id": "com.example.notes", "version": "1.4.2", "exe": "Notes.exe"})";
    in.app = Bytes(5000, 'x');
    in.stub = build_stub(pack::testing::plain_stub_tree(), Bytes{9});
    in.compressor = pack::Compressor::zlib;
    const auto built = pack::build_installer(in);
    ASSERT_TRUE(built.ok()) << built.error().text;

    const auto layout = read_pe_layout(built->installer);
    ASSERT_TRUE(layout);
    const auto package_resource = find_rcdata(*layout, 1);
    ASSERT_TRUE(package_resource);
    const Bytes bytes = bytes_of(built->installer, *package_resource);
    const auto package = read_package(bytes);
    ASSERT_TRUE(package.ok());
    EXPECT_EQ(package->manifest.id, "com.example.notes");
    EXPECT_EQ(package->manifest.version, "1.4.2");
    EXPECT_EQ(package->payload.size(), built->payload_size);
    // The resource section was rebuilt; the overlay still follows the sections.
    EXPECT_EQ(layout->end_of_sections, built->installer.size() - 1);

    // The manifest alone, read from the file without the app.
    MemoryPeSource source(built->installer);
    const auto manifest = read_installer_manifest(source);
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->id, "com.example.notes");
    EXPECT_EQ(manifest->version, "1.4.2");

    // No package, a damaged container, a manifest longer than its resource: no manifest.
    const Bytes stub = build_stub(pack::testing::plain_stub_tree());
    MemoryPeSource no_package(stub);
    EXPECT_FALSE(read_installer_manifest(no_package));
    Bytes damaged = built->installer;
    damaged[package_resource->offset] ^= 1;
    MemoryPeSource bad_magic(damaged);
    EXPECT_FALSE(read_installer_manifest(bad_magic));
    damaged = built->installer;
    pack::put_u32(damaged, package_resource->offset + 8, static_cast<std::uint32_t>(package_resource->size - 11));
    MemoryPeSource long_manifest(damaged);
    EXPECT_FALSE(read_installer_manifest(long_manifest));
}

// Each pair: the bound met exactly is accepted, one byte past it refused.
TEST(PeFile, BoundaryPairs) {
    const Bytes good = build_stub(mixed_tree());
    const auto layout = read_pe_layout(good);
    ASSERT_TRUE(layout);
    const PeSection& last = layout->sections.back();
    ASSERT_EQ(std::uint64_t{last.file_offset} + last.file_size, good.size());

    // The last section's raw data ends at the file's end: one byte shorter is refused.
    EXPECT_FALSE(read_pe_layout(std::span(good.data(), good.size() - 1)));

    // A resource's data ending exactly at its section's raw end, then one byte beyond it.
    const std::uint32_t raw_size = layout->sections[1].file_size;
    for (const std::uint32_t extra : {0u, 1u}) {
        Bytes contents = *pack::serialize_resource_tree(mixed_tree(), pack::testing::kStubResourceRva);
        contents.resize(raw_size, 0);
        // The first data entry (the manifest's, 16 bytes before the first data) made to reach the end.
        const std::size_t entry = [&] {
            for (std::size_t at = 0; at + 16 <= contents.size(); at += 4) {
                if (*pack::read_u32(contents, at + 4) == 30) return at;
            }
            return std::size_t{0};
        }();
        ASSERT_NE(entry, 0u);
        const std::uint32_t size = raw_size - (*pack::read_u32(contents, entry) - pack::testing::kStubResourceRva) + extra;
        pack::put_u32(contents, entry + 4, size);
        const auto read = read_pe_layout(build_stub_with_resources(contents));
        EXPECT_EQ(read.has_value(), extra == 0) << "extra " << extra;
    }

    // A section table that runs past the file's end, and more sections than the loader takes.
    Bytes few_sections = good;
    const std::uint32_t pe_at = pack::testing::pe_offset(few_sections);
    pack::put_u16(few_sections, pe_at + 6, 96);
    EXPECT_FALSE(read_pe_layout(std::span(few_sections.data(), section_header_offset(few_sections, 95) + 39)));
    pack::put_u16(few_sections, pe_at + 6, 97);
    EXPECT_FALSE(read_pe_layout(few_sections));
}

TEST(PeFile, RefusesWhatIsNoPeFileOrBreaksTheDirectoryRules) {
    const Bytes good = build_stub(mixed_tree());
    EXPECT_FALSE(read_pe_layout(Bytes{}));
    EXPECT_FALSE(read_pe_layout(Bytes{'M', 'Z'}));
    Bytes no_signature = good;
    no_signature[pack::testing::pe_offset(good)] = 'X';
    EXPECT_FALSE(read_pe_layout(no_signature));
    Bytes far_header = good;
    pack::put_u32(far_header, 0x3c, 0xfffffff0u);
    EXPECT_FALSE(read_pe_layout(far_header));

    // Directories shared by many entries, and one leading to itself, end quickly, refused.
    EXPECT_FALSE(read_pe_layout(build_stub_with_resources(pack::testing::shared_directory_resources(0, 300, 0, 1))));
    EXPECT_FALSE(read_pe_layout(build_stub_with_resources(pack::testing::looping_resources())));

    // Every prefix of a real file is read or refused, never read past.
    for (std::size_t size = 0; size < good.size(); size += 7) (void)read_pe_layout(std::span(good.data(), size));
}

TEST(PeFile, Pe32FilesAndFilesWithoutResourcesAreRead) {
    pack::testing::SyntheticPe pe;
    pe.pe32_plus = false;
    pe.sections.push_back({".text", Bytes(100, 1), 0x60000020});
    const auto layout = read_pe_layout(pack::testing::build_pe(pe));
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->sections.size(), 1u);
    EXPECT_FALSE(layout->resource_section);
    EXPECT_TRUE(layout->resources.empty());
    EXPECT_EQ(layout->resource_directory_size, 0u);
}

}  // namespace
}  // namespace plinth
