#include "package/installer_regions.h"

#include <algorithm>

namespace plinth {
namespace {

std::uint32_t read32(std::span<const std::uint8_t> file, std::uint64_t at) {
    if (at + 4 > file.size()) return 0;
    return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | static_cast<std::uint32_t>(file[at + 3]) << 24;
}

}  // namespace

std::vector<Region> installer_regions(std::span<const std::uint8_t> file) {
    std::vector<Region> regions;
    if (file.empty()) return regions;
    std::vector<std::uint64_t> cuts;
    const std::uint64_t pe = read32(file, 0x3C);
    if (file.size() >= 2 && file[0] == 'M' && file[1] == 'Z' && read32(file, pe) == 0x4550) {
        const std::uint64_t sections = file.size() > pe + 7 ? (file[pe + 6] | file[pe + 7] << 8) : 0;
        const std::uint64_t optional = file.size() > pe + 21 ? (file[pe + 20] | file[pe + 21] << 8) : 0;
        const std::uint64_t table = pe + 24 + optional;
        for (std::uint64_t i = 0; i < sections; ++i) {
            const std::uint64_t header = table + i * 40;
            const std::uint64_t size = read32(file, header + 16);
            const std::uint64_t start = read32(file, header + 20);
            if (size == 0 || start == 0 || start + size > file.size()) continue;
            cuts.push_back(start);
            cuts.push_back(start + size);
        }
    }
    cuts.push_back(0);
    cuts.push_back(file.size());
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) regions.push_back({cuts[i], cuts[i + 1] - cuts[i]});
    return regions;
}

}  // namespace plinth
