#include "installer_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "common/sha256.h"
#include "installer_builder.h"
#include "installer_report.h"
#include "pack/synthetic_pe.h"
#include "package/app_files.h"
#include "package/container.h"
#include "package/installer_regions.h"
#include "package/pe_file.h"
#include "package/piece_table.h"
#include "resource_tree.h"
#include "version_record.h"

namespace plinth::pack {
namespace {

// Exe-like bytes: compressible, varied, different for each seed.
Bytes app_bytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = (i % 64 < 40) ? static_cast<std::uint8_t>(i / 640 + seed) : static_cast<std::uint8_t>(generator() % 7);
    }
    return bytes;
}

std::string manifest(const std::string& version) {
    return R"({"name": "Notes", "id": "com.example.notes", "version": ")" + version +
           R"(", "publisher": "Example Ltd", "exe": "Notes.exe"})";
}

InstallerInputs inputs(const std::string& version, std::vector<OtherFile> others) {
    ResourceTree stub_tree;
    stub_tree.set(ResourceName::number(kTypeVersion), ResourceName::number(1), kLangEnglishUs,
                  build_version_record({"plinth", "0.1", "", "plinth setup"}));
    InstallerInputs in;
    in.manifest_json = manifest(version);
    in.app = testing::build_stub(ResourceTree{});
    const Bytes body = app_bytes(400000, 1);
    in.app.insert(in.app.end(), body.begin(), body.end());
    in.stub = testing::build_stub(stub_tree);
    in.other_files = std::move(others);
    in.compressor = Compressor::zlib;
    return in;
}

std::vector<OtherFile> three_files(std::uint32_t changed_seed) {
    return {{"a.dll", app_bytes(300000, 11), {}, 0}, {"data\\b.bin", app_bytes(200000, changed_seed), {}, 0},
            {"c.txt", Bytes{'h', 'i'}, {}, 0}};
}

Bytes built(const InstallerInputs& in) {
    auto installer = build_installer(in);
    EXPECT_TRUE(installer.ok()) << installer.error().text;
    return installer.ok() ? installer->installer : Bytes{};
}

void expect_cover(const std::vector<Region>& regions, std::uint64_t size) {
    std::uint64_t at = 0;
    for (const Region& r : regions) {
        EXPECT_EQ(r.offset, at);
        EXPECT_GT(r.size, 0u);
        at = r.offset + r.size;
    }
    EXPECT_EQ(at, size);
}

// Every stream's pieces are regions of their own, and so are the package's head (container and
// manifest) and the other files' table.
TEST(InstallerRegions, LineUpWithEveryPieceOfEveryStream) {
    const Bytes installer = built(inputs("1.0", three_files(12)));
    const auto regions = installer_regions(installer);
    expect_cover(regions, installer.size());
    const std::set<std::pair<std::uint64_t, std::uint64_t>> found = [&] {
        std::set<std::pair<std::uint64_t, std::uint64_t>> set;
        for (const Region& r : regions) set.insert({r.offset, r.size});
        return set;
    }();

    const auto layout = read_pe_layout(installer);
    ASSERT_TRUE(layout);
    const auto package = find_rcdata(*layout, 1), files = find_rcdata(*layout, 2), table = find_rcdata(*layout, 4);
    ASSERT_TRUE(package && files && table);
    const auto streams = read_piece_table(ByteView(installer).subspan(table->offset, table->size));
    ASSERT_TRUE(streams);
    ASSERT_EQ(streams->size(), 4u);
    const std::uint64_t head = kPackageHeaderSize + manifest("1.0").size();
    EXPECT_TRUE(found.contains({package->offset, head}));
    std::uint64_t at = package->offset + head;
    std::size_t pieces = 0;
    std::size_t merged = 0;  // small files, whose one piece and end are one region
    for (std::size_t s = 0; s < streams->size(); ++s) {
        if (s == 1) {
            const std::uint64_t table_size = 12 + 3 * 10 + std::string("a.dlldata\\b.binc.txt").size();
            EXPECT_TRUE(found.contains({files->offset, table_size}));
            at = files->offset + table_size;
        }
        const StreamPieces& lengths = (*streams)[s];
        // A small file's one piece and its end are one region.
        if (lengths.size() == 2) {
            EXPECT_TRUE(found.contains({at, lengths[0] + lengths[1]})) << "stream " << s;
            at += lengths[0] + lengths[1];
            pieces += 2;
            ++merged;
            continue;
        }
        for (std::uint32_t length : lengths) {
            EXPECT_TRUE(found.contains({at, length})) << "stream " << s << " piece at " << at;
            at += length;
            ++pieces;
        }
    }
    EXPECT_EQ((*streams)[3].size(), 2u);
    EXPECT_GT(pieces, 3 + 3 + 1u);  // the larger streams are cut, each one's end its own piece

    // A table that doesn't add up is left aside: each stream is then one region.
    Bytes damaged = installer;
    damaged[table->offset + 16] ^= 1;  // the first piece's length
    const auto coarse = installer_regions(damaged);
    expect_cover(coarse, damaged.size());
    EXPECT_LT(coarse.size(), regions.size() - (pieces - merged) + 4 + 1);
    EXPECT_NE(describe_installer(damaged)->find("Pieces: the table doesn't match the streams"), std::string::npos);
    EXPECT_NE(describe_installer(installer)->find("Pieces: " + std::to_string(pieces) + " in 4 streams\n"),
              std::string::npos);
    EXPECT_TRUE(std::any_of(coarse.begin(), coarse.end(), [&](const Region& r) {
        return r.offset == package->offset + head && r.offset + r.size == package->offset + package->size;
    }));
}

// An LZMA stream has no end piece: each of its pieces is a region, two-piece streams included
// (a deflate stream's piece and end are one).
TEST(InstallerRegions, EveryLzmaPieceIsARegion) {
    InstallerInputs in = inputs("1.0", {{"big.bin", app_bytes(1300000, 5), {}, 0}});
    in.compressor = Compressor::lzma;
    const Bytes installer = built(in);
    const auto regions = installer_regions(installer);
    std::set<std::uint64_t> starts;
    for (const Region& r : regions) starts.insert(r.offset);
    const auto layout = read_pe_layout(installer);
    ASSERT_TRUE(layout);
    const auto files = find_rcdata(*layout, 2), table = find_rcdata(*layout, 4);
    ASSERT_TRUE(files && table);
    const auto streams = read_piece_table(ByteView(installer).subspan(table->offset, table->size));
    ASSERT_TRUE(streams && streams->size() == 2);
    const StreamPieces& big = (*streams)[1];
    ASSERT_EQ(big.size(), 2u);
    std::uint64_t at = files->offset + files->size;
    for (std::uint32_t length : big) at -= length;
    for (std::uint32_t length : big) {
        EXPECT_TRUE(starts.contains(at)) << "piece at " << at;
        at += length;
    }
}

// A signature appended to the file (as signing does, after the last section) is its own region;
// what it doesn't touch keeps its regions.
TEST(InstallerRegions, ASignedInstallersTailIsItsOwnRegion) {
    const Bytes installer = built(inputs("1.0", {}));
    Bytes signed_installer = installer;
    const Bytes signature = app_bytes(3000, 99);
    signed_installer.insert(signed_installer.end(), signature.begin(), signature.end());
    auto regions = installer_regions(signed_installer);
    expect_cover(regions, signed_installer.size());
    ASSERT_FALSE(regions.empty());
    EXPECT_EQ(regions.back(), (Region{installer.size(), signature.size()}));
    regions.pop_back();
    EXPECT_EQ(regions, installer_regions(installer));
}

TEST(InstallerRegions, WhatIsntAnInstallerIsCutCoarselyNeverRefused) {
    EXPECT_TRUE(installer_regions({}).empty());
    const Bytes text(5000, 'x');
    EXPECT_EQ(installer_regions(text), (std::vector<Region>{{0, 5000}}));
    const Bytes installer = built(inputs("1.0", {}));
    for (std::size_t cut : {std::size_t{1}, std::size_t{64}, std::size_t{1024}, installer.size() / 2, installer.size() - 1}) {
        const Bytes shorter(installer.begin(), installer.begin() + cut);
        expect_cover(installer_regions(shorter), shorter.size());
    }
}

// Region hashes of an installer.
std::multiset<Sha256Digest> region_hashes(const Bytes& installer) {
    std::multiset<Sha256Digest> hashes;
    for (const Region& r : installer_regions(installer)) hashes.insert(sha256(ByteView(installer).subspan(r.offset, r.size)));
    return hashes;
}

// The next version of the app with one file changed: every piece of every unchanged file, and of
// the exe, is the same bytes; what differs is the changed file, the manifest, the tables and the
// version record, a small share of the installer.
TEST(InstallerRegions, UnchangedFilesGiveTheSamePiecesInTheNextVersion) {
    const Bytes v1 = built(inputs("1.0", three_files(12)));
    const Bytes v2 = built(inputs("1.1", three_files(13)));
    const auto old_hashes = region_hashes(v1);
    std::uint64_t shared = 0;
    for (const Region& r : installer_regions(v2)) {
        if (old_hashes.contains(sha256(ByteView(v2).subspan(r.offset, r.size)))) shared += r.size;
    }
    const auto layout = read_pe_layout(v2);
    ASSERT_TRUE(layout);
    const auto files_resource = find_rcdata(*layout, 2);
    ASSERT_TRUE(files_resource);
    const auto files = read_app_files(ByteView(v2).subspan(files_resource->offset, files_resource->size));
    ASSERT_TRUE(files.ok());
    const std::uint64_t changed = (*files)[1].stream.size();
    // Beyond the changed file's stream: the headers, the directory, the manifest, the tables.
    EXPECT_GE(shared + changed + 4096, v2.size()) << shared << " of " << v2.size() << ", " << changed << " changed";
    EXPECT_GT(v2.size(), 3 * changed);
    EXPECT_LT(shared, v2.size());
}

// The map as the client reads it: every field where its layout says, each hash that of its region.
TEST(InstallerMap, FollowsItsLayoutAndHashesEachRegion) {
    Bytes installer = built(inputs("1.0", three_files(12)));
    installer.insert(installer.end(), {1, 2, 3, 4});
    auto map = installer_map(installer);
    ASSERT_TRUE(map.ok()) << map.error().text;
    const auto regions = installer_regions(installer);
    EXPECT_TRUE(std::equal(kMapMagic.begin(), kMapMagic.end(), map->begin()));
    std::uint64_t size = 0;
    for (int i = 7; i >= 0; --i) size = size << 8 | (*map)[8 + i];
    EXPECT_EQ(size, installer.size());
    const Sha256Digest whole = sha256(installer);
    EXPECT_TRUE(std::equal(whole.begin(), whole.end(), map->begin() + 16));
    EXPECT_EQ(read_u32(*map, 48), regions.size());
    std::uint64_t at = 0;
    std::size_t entry = 52;
    std::set<std::size_t> size_lengths;
    for (std::size_t i = 0; i < regions.size(); ++i) {
        std::uint32_t length = 0;
        const std::size_t first = entry;
        for (int shift = 0; (*map)[entry] & 0x80; shift += 7) length |= ((*map)[entry++] & 0x7Fu) << shift;
        length |= std::uint32_t{(*map)[entry]} << (7 * (entry - first));
        ++entry;
        size_lengths.insert(entry - first);
        ASSERT_EQ(length, regions[i].size) << i;
        const Sha256Digest digest = sha256(ByteView(installer).subspan(at, length));
        EXPECT_TRUE(std::equal(digest.begin(), digest.begin() + kMapHashSize, map->begin() + entry)) << i;
        entry += kMapHashSize;
        at += length;
    }
    EXPECT_EQ(entry, map->size());
    EXPECT_TRUE(size_lengths.contains(1) && size_lengths.contains(3)) << "sizes take as many bytes as they need";
    EXPECT_EQ(at, installer.size());
    EXPECT_EQ(*installer_map(installer), *map) << "the same file, the same map";
    EXPECT_FALSE(installer_map({}).ok());
    auto one = installer_map(Bytes{'M', 'Z'});
    ASSERT_TRUE(one.ok());
    EXPECT_EQ(one->size(), 52u + 1 + kMapHashSize);
}

}  // namespace
}  // namespace plinth::pack
