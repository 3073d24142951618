#include "file_io.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define plinth_getpid _getpid
#else
#include <unistd.h>
#define plinth_getpid getpid
#endif

namespace plinth::pack {
namespace {

std::string shown(const std::filesystem::path& path) { return path_to_utf8(path); }

// A name beside `path` that is unlikely to exist: the packer may run twice in one folder.
std::filesystem::path temporary_beside(const std::filesystem::path& path) {
    // Seeded from the clock and the process id: std::random_device would link libstdc++'s code
    // that calls arc4random, and so need glibc 2.36, newer than the Linux packer may assume.
    const auto ticks = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::mt19937_64 random(ticks ^ (static_cast<std::uint64_t>(plinth_getpid()) << 32));
    static const char digits[] = "0123456789abcdef";
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string suffix = ".";
        for (int i = 0; i < 8; ++i) suffix.push_back(digits[random() % 16]);
        std::filesystem::path candidate = path;
        candidate += path_from_utf8(suffix + ".partial");
        std::error_code error;
        if (!std::filesystem::exists(candidate, error) && !error) return candidate;
    }
    std::filesystem::path fallback = path;
    fallback += ".partial";
    return fallback;
}

}  // namespace

std::filesystem::path path_from_utf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string path_to_utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

Result<Bytes> read_file(const std::filesystem::path& path, std::uint64_t max_size) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status)) return fail(shown(path) + ": No such file.");
    if (std::filesystem::is_directory(status)) return fail(shown(path) + ": Is a folder, not a file.");
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail(shown(path) + ": Can't be opened for reading.");
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) return fail(shown(path) + ": Can't be read.");
    if (static_cast<std::uint64_t>(size) > max_size) {
        return fail(shown(path) + ": Too large (" + std::to_string(size) + " bytes; the limit is " +
                    std::to_string(max_size) + ").");
    }
    in.seekg(0, std::ios::beg);
    Bytes bytes(static_cast<std::size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        return fail(shown(path) + ": Can't be read.");
    }
    return bytes;
}

Status write_file_replacing(const std::filesystem::path& path, ByteView bytes) {
    const std::filesystem::path temporary = temporary_beside(path);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return fail(shown(path) + ": Can't be written (the folder is missing or not writable).");
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return fail(shown(path) + ": Can't be written (is the disk full?).");
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return fail(shown(path) + ": Can't be replaced (" + error.message() + ").");
    }
    return success();
}

}  // namespace plinth::pack
