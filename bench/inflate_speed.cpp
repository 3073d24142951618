// The stub's deflate decoder against zlib's inflate, on the host: each input deflated by zlib at
// level 9 (as a zlib stream, the form the installer carries), then inflated whole into room of
// its exact size many times by each; prints the best time of each and their ratio.
//   bench/inflate-speed [--once] [FILE|:random|:runs ...]     (builds this program, then runs it)
// :random is 4 MiB of random bytes (stored blocks, or nearly), :runs 16 MiB of one byte.
// --once: a single inflation each, for instruction counts under callgrind (with_zlib and
// with_ours are functions of their own for that: callgrind_annotate --inclusive=yes).
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "compression/deflate_decoder.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes deflated(const Bytes& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9);
    out.resize(size);
    return out;
}

[[gnu::noinline]] bool with_zlib(const Bytes& stream, Bytes& out) {
    uLongf size = out.size();
    uLong used = stream.size();
    return uncompress2(out.data(), &size, stream.data(), &used) == Z_OK && size == out.size();
}

// As the installer does it: the header, the deflate data, the Adler-32 of what it made.
[[gnu::noinline]] bool with_ours(const Bytes& stream, Bytes& out) {
    const auto decoded = plinth::decode_deflate({stream.data() + 2, stream.size() - 2}, out, out.size());
    if (!decoded.ok || decoded.total != out.size()) return false;
    const unsigned char* trailer = stream.data() + 2 + decoded.consumed;
    const std::uint32_t expected = std::uint32_t{trailer[0]} << 24 | trailer[1] << 16 | trailer[2] << 8 | trailer[3];
    return expected == plinth::adler32_of(out);
}

template <class Inflate>
double best_seconds(Inflate inflate, const Bytes& stream, Bytes& out, int rounds) {
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        if (!inflate(stream, out)) {
            std::fprintf(stderr, "inflating failed\n");
            std::exit(1);
        }
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

void measure(const std::string& name, const Bytes& data, bool once) {
    const Bytes stream = deflated(data);
    Bytes out(data.size());
    // About a second of work each, but no fewer than three rounds.
    const int rounds = once ? 1 : std::max(3, static_cast<int>(200'000'000 / std::max<std::size_t>(data.size(), 1)));
    const double zlib = best_seconds(with_zlib, stream, out, rounds);
    std::fill(out.begin(), out.end(), 0);
    const double ours = best_seconds(with_ours, stream, out, rounds);
    if (out != data) {
        std::fprintf(stderr, "%s: our bytes differ\n", name.c_str());
        std::exit(1);
    }
    const double mb = static_cast<double>(data.size()) / 1e6;
    std::printf("%-28s %9zu B -> %8zu B  zlib %7.1f MB/s  ours %7.1f MB/s  ours/zlib time %.2f\n", name.c_str(),
                data.size(), stream.size(), mb / zlib, mb / ours, ours / zlib);
}

}  // namespace

int main(int argc, char** argv) {
    bool once = false;
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--once") == 0) once = true, first = 2;
    for (int i = first; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == ":random") {
            Bytes random(4 << 20);
            std::uint32_t state = 12345;
            for (auto& byte : random) byte = static_cast<unsigned char>((state = state * 1103515245u + 12345u) >> 24);
            measure("random bytes", random, once);
            continue;
        }
        if (name == ":runs") {
            measure("a run of one byte", Bytes(16 << 20, 'A'), once);
            continue;
        }
        std::ifstream file(name, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "can't read %s\n", name.c_str());
            return 1;
        }
        const Bytes data{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        measure(name, data, once);
    }
    return 0;
}
