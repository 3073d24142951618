#include "package/installer_regions.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>

#include "package/app_files.h"
#include "package/container.h"
#include "package/piece_table.h"

namespace plinth {
namespace {

// A piece table longer than this (4 million pieces, some 256 GiB of files) is left aside: the
// file is read a piece at a time, and so is its table.
constexpr std::uint64_t kMaxPieceTableSize = 16u * 1024 * 1024;

// A deflate stream's end: a final empty block and the Adler-32, a few bytes.
constexpr std::uint32_t kLongestStreamEnd = 16;

// For the C library's qsort, already in every process: std::sort would add its own code to the stub.
int by_offset(const void* a, const void* b) {
    const std::uint64_t x = *static_cast<const std::uint64_t*>(a);
    const std::uint64_t y = *static_cast<const std::uint64_t*>(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

std::uint32_t u32_of(const std::uint8_t* bytes) {
    return bytes[0] | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
}

// Where the app exe's stream lies: after the container's head and manifest, to the resource's end.
// The head and manifest are then a region of their own.
std::optional<Region> payload_place(PeSource& file, const PeResource& package) {
    std::array<std::uint8_t, kPackageHeaderSize> header;
    if (package.size < header.size() || !file.read(package.offset, header) ||
        !std::equal(kPackageMagic.begin(), kPackageMagic.end(), header.begin())) {
        return std::nullopt;
    }
    const std::uint64_t head = kPackageHeaderSize + std::uint64_t{u32_of(header.data() + kPackageMagic.size())};
    if (head > package.size) return std::nullopt;
    return Region{package.offset + head, package.size - head};
}

// The streams of the other files' resource, in its table's order (app_files.h), read an entry at
// a time; none when the table doesn't hold or the streams don't fill the rest exactly.
std::vector<Region> other_streams(PeSource& file, const PeResource& resource) {
    std::array<std::uint8_t, kAppFilesHeaderSize> header;
    if (resource.size < header.size() || !file.read(resource.offset, header) ||
        !std::equal(kAppFilesMagic.begin(), kAppFilesMagic.end(), header.begin())) {
        return {};
    }
    const std::uint32_t count = u32_of(header.data() + 8);
    if (count == 0 || count > kMaxAppFiles) return {};
    std::vector<Region> streams(count);
    std::uint64_t at = kAppFilesHeaderSize;
    std::uint64_t total = 0;
    for (Region& stream : streams) {
        std::array<std::uint8_t, kAppFileEntryHeaderSize> entry;
        if (resource.size - at < entry.size() || !file.read(resource.offset + at, entry)) return {};
        at += entry.size() + (entry[0] | std::uint64_t{entry[1]} << 8);
        stream.size = u32_of(entry.data() + 6);
        total += stream.size;
        if (at > resource.size) return {};
    }
    // 10000 streams of at most 4 GiB each can't wrap 64 bits.
    if (total != resource.size - at) return {};
    for (Region& stream : streams) {
        stream.offset = resource.offset + at;
        at += stream.size;
    }
    return streams;
}

}  // namespace

std::vector<Region> installer_regions(PeSource& file) {
    const std::uint64_t size = file.size();
    std::vector<std::uint64_t> cuts{0, size};
    // A cut inside the file; anything outside is ignored, so no bound read from it is trusted.
    const auto cut = [&](std::uint64_t at) {
        if (at < size) cuts.push_back(at);
    };
    if (const auto layout = read_pe_layout(file)) {
        cut(layout->headers_size);
        for (const PeSection& section : layout->sections) {
            cut(section.file_offset);
            cut(std::uint64_t{section.file_offset} + section.file_size);
        }
        cut(layout->resource_directory_offset);
        cut(layout->resource_directory_offset + layout->resource_directory_size);
        for (const PeResource& resource : layout->resources) {
            cut(resource.offset);
            cut(resource.offset + resource.size);
        }
        cut(layout->end_of_sections);

        // The streams in the piece table's order: the app exe's, then each other file's.
        std::vector<Region> streams;
        if (const auto package = find_rcdata(*layout, 1)) {
            if (const auto payload = payload_place(file, *package)) {
                cut(payload->offset);
                streams.push_back(Region{*payload});
            }
        }
        if (const auto resource = find_rcdata(*layout, 2); resource && !streams.empty()) {
            for (const Region& other : other_streams(file, *resource)) {
                cut(other.offset);
                streams.push_back(Region{other});
            }
        }
        std::optional<std::vector<StreamPieces>> table;
        if (const auto resource = find_rcdata(*layout, 4); resource && resource->size <= kMaxPieceTableSize) {
            std::vector<std::uint8_t> bytes(resource->size);
            if (file.read(resource->offset, bytes)) table = read_piece_table(bytes);
        }
        // A table that doesn't add up to the streams is left aside whole: each stream one region.
        bool adds_up = table && table->size() == streams.size();
        for (std::size_t i = 0; adds_up && i < streams.size(); ++i) {
            std::uint64_t sum = 0;
            for (std::uint32_t length : (*table)[i]) sum += length;
            adds_up = sum == streams[i].size;
        }
        for (std::size_t i = 0; adds_up && i < streams.size(); ++i) {
            const StreamPieces& pieces = (*table)[i];
            std::uint64_t at = streams[i].offset;
            // A deflate stream of one piece and its end (a small file) is one region: its end
            // changes whenever its piece does, and as a region of its own it would cost the map an
            // entry. An LZMA stream has no end piece: its second piece is data of its own.
            const bool piece_and_end = pieces.size() == 2 && pieces[1] <= kLongestStreamEnd;
            for (std::size_t p = 0; p < pieces.size(); ++p) {
                at += pieces[p];
                if (p != 0 || !piece_and_end) cut(at);
            }
        }
    }
    std::qsort(cuts.data(), cuts.size(), sizeof cuts[0], by_offset);
    std::vector<Region> regions;
    regions.reserve(cuts.size());
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        if (cuts[i + 1] != cuts[i]) regions.push_back(Region{cuts[i], cuts[i + 1] - cuts[i]});
    }
    return regions;
}

std::vector<Region> installer_regions(std::span<const std::uint8_t> file) {
    MemoryPeSource source(file);
    return installer_regions(source);
}

}  // namespace plinth
