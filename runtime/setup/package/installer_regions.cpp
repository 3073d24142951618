#include "package/installer_regions.h"

#include <algorithm>
#include <optional>

#include "package/app_files.h"
#include "package/container.h"
#include "package/pe_file.h"
#include "package/piece_table.h"

namespace plinth {
namespace {

// A stream of the package and where it lies in the file.
struct StreamPlace {
    std::uint64_t offset;
    std::uint64_t size;
};

std::optional<std::uint32_t> u32_at(std::span<const std::uint8_t> bytes, std::uint64_t at) {
    if (at > bytes.size() || bytes.size() - at < 4) return std::nullopt;
    return bytes[at] | std::uint32_t{bytes[at + 1]} << 8 | std::uint32_t{bytes[at + 2]} << 16 |
           std::uint32_t{bytes[at + 3]} << 24;
}

std::span<const std::uint8_t> bytes_of(std::span<const std::uint8_t> file, const PeResource& resource) {
    return file.subspan(resource.offset, resource.size);  // the layout keeps them inside the file
}

// Where the app exe's stream lies: after the container's head and manifest, to the resource's end.
// The head and manifest are then a region of their own.
std::optional<StreamPlace> payload_place(std::span<const std::uint8_t> file, const PeResource& package) {
    const auto bytes = bytes_of(file, package);
    if (bytes.size() < kPackageHeaderSize || !std::equal(kPackageMagic.begin(), kPackageMagic.end(), bytes.begin())) {
        return std::nullopt;
    }
    const std::uint64_t head = kPackageHeaderSize + std::uint64_t{*u32_at(bytes, kPackageMagic.size())};
    if (head > bytes.size()) return std::nullopt;
    return StreamPlace{package.offset + head, bytes.size() - head};
}

}  // namespace

std::vector<Region> installer_regions(std::span<const std::uint8_t> file) {
    std::vector<std::uint64_t> cuts{0, file.size()};
    // A cut inside the file; anything outside is ignored, so no bound read from it is trusted.
    const auto cut = [&](std::uint64_t at) {
        if (at < file.size()) cuts.push_back(at);
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
        std::vector<StreamPlace> streams;
        if (const auto package = find_rcdata(*layout, 1)) {
            if (const auto payload = payload_place(file, *package)) {
                cut(payload->offset);
                streams.push_back(*payload);
            }
        }
        if (const auto resource = find_rcdata(*layout, 2); resource && !streams.empty()) {
            const auto bytes = bytes_of(file, *resource);
            if (auto files = read_app_files(bytes)) {
                for (const AppFile& other : *files) {
                    const std::uint64_t offset = resource->offset + static_cast<std::uint64_t>(other.stream.data() - bytes.data());
                    cut(offset);
                    streams.push_back({offset, other.stream.size()});
                }
            }
        }
        const auto table_resource = find_rcdata(*layout, 4);
        const auto table = table_resource ? read_piece_table(bytes_of(file, *table_resource)) : std::nullopt;
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
            // A stream of one piece and its end (a small file) is one region: its end changes
            // whenever its piece does, and as a region of its own it would cost the map an entry.
            for (std::size_t p = 0; p < pieces.size(); ++p) {
                at += pieces[p];
                if (p != 0 || pieces.size() != 2) cut(at);
            }
        }
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    std::vector<Region> regions;
    regions.reserve(cuts.size());
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) regions.push_back({cuts[i], cuts[i + 1] - cuts[i]});
    return regions;
}

}  // namespace plinth
