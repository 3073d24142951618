// What pieces cost and what they save. A benchmark: it prints figures and asserts nothing.
//
//   piece_bench sizes COMPRESSOR FILE...   each file compressed in pieces and in one stream: sizes,
//                                          their ratio and the time of each, then the totals
//   piece_bench share OLD NEW              the share of NEW's bytes that lie in regions whose
//                                          SHA-256 is also a region's of OLD (what an update from
//                                          OLD needn't fetch), and the time the map of NEW takes
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "common/sha256.h"
#include "compressor.h"
#include "installer_map.h"
#include "package/installer_regions.h"

using namespace plinth;
using namespace plinth::pack;

namespace {

Bytes read_all(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int sizes(const char* name, int count, char** files) {
    const auto compressor = compressor_from_name(name);
    if (!compressor) return std::fprintf(stderr, "piece_bench: no compressor %s\n", name), 2;
    std::uint64_t raw = 0, pieced = 0, whole = 0, pieces = 0;
    double pieced_time = 0, whole_time = 0;
    for (int i = 0; i < count; ++i) {
        const Bytes data = read_all(files[i]);
        auto start = std::chrono::steady_clock::now();
        auto a = compress(*compressor, data);
        pieced_time += seconds_since(start);
        start = std::chrono::steady_clock::now();
        auto b = compress_whole(*compressor, data);
        whole_time += seconds_since(start);
        if (!a || !b) return std::fprintf(stderr, "piece_bench: %s failed\n", files[i]), 1;
        raw += data.size();
        pieced += a->bytes.size();
        whole += b->size();
        pieces += a->pieces.size();
        if (count <= 8) {
            std::printf("  %-40s %11zu raw  %11zu in pieces  %11zu whole  %.4f\n",
                        std::strrchr(files[i], '/') ? std::strrchr(files[i], '/') + 1 : files[i], data.size(),
                        a->bytes.size(), b->size(), double(a->bytes.size()) / double(b->size()));
        }
    }
    std::printf("  %-12s %d files, %llu raw: %llu in %llu pieces (%.1f s), %llu whole (%.1f s): %.4f\n", name, count,
                (unsigned long long)raw, (unsigned long long)pieced, (unsigned long long)pieces, pieced_time,
                (unsigned long long)whole, whole_time, double(pieced) / double(whole));
    return 0;
}

int share(const char* old_path, const char* new_path) {
    const Bytes old_file = read_all(old_path), new_file = read_all(new_path);
    std::set<Sha256Digest> old_hashes;
    for (const Region& r : installer_regions(old_file)) old_hashes.insert(sha256(ByteView(old_file).subspan(r.offset, r.size)));
    const auto start = std::chrono::steady_clock::now();
    const auto regions = installer_regions(new_file);
    const double regions_time = seconds_since(start);
    std::uint64_t shared = 0;
    for (const Region& r : regions) {
        if (old_hashes.contains(sha256(ByteView(new_file).subspan(r.offset, r.size)))) shared += r.size;
    }
    const auto map_start = std::chrono::steady_clock::now();
    auto map = installer_map(new_file);
    const double map_time = seconds_since(map_start);
    if (!map) return std::fprintf(stderr, "piece_bench: %s\n", map.error().text.c_str()), 1;
    std::printf("%llu %llu %.4f %zu %llu %.3f %.3f\n", (unsigned long long)new_file.size(), (unsigned long long)shared,
                100.0 * double(new_file.size() - shared) / double(new_file.size()), regions.size(),
                (unsigned long long)map->size(), regions_time, map_time);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "sizes") == 0) return sizes(argv[2], argc - 3, argv + 3);
    if (argc == 4 && std::strcmp(argv[1], "share") == 0) return share(argv[2], argv[3]);
    std::fprintf(stderr, "usage: piece_bench sizes COMPRESSOR FILE... | piece_bench share OLD NEW\n");
    return 2;
}
