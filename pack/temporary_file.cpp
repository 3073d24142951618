#include "temporary_file.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>
#include <system_error>
#include <utility>

#include "file_io.h"

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace plinth::pack {
namespace {

// The longest file name: 255 bytes on Linux, 255 UTF-16 units on Windows.
constexpr std::size_t kMaxNameLength = 255;

std::string system_reason(int code) { return std::error_code(code, std::system_category()).message(); }

#ifdef _WIN32
// A read or write at this offset of the file, whatever its pointer.
OVERLAPPED at_offset(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}
#endif

std::uint64_t seed() {
    // The clock and the process id, and the kernel's random bytes where there are some.
    // std::random_device would link libstdc++'s code that calls arc4random, and so need
    // glibc 2.36, newer than the Linux packer may assume.
    std::uint64_t value = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#ifdef _WIN32
    value ^= static_cast<std::uint64_t>(_getpid()) << 32;
#else
    value ^= static_cast<std::uint64_t>(::getpid()) << 32;
    std::uint64_t kernel = 0;
    if (::getrandom(&kernel, sizeof kernel, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof kernel)) value ^= kernel;
#endif
    return value;
}

}  // namespace

TemporaryNames random_temporary_names() {
    auto random = std::make_shared<std::mt19937_64>(seed());
    return [random] {
        static const char digits[] = "0123456789abcdef";
        std::string name;
        for (int i = 0; i < 8; ++i) name.push_back(digits[(*random)() % 16]);
        return name;
    };
}

Result<TemporaryFile> TemporaryFile::create(const std::filesystem::path& beside, std::string_view ending,
                                            const TemporaryNames& names) {
    for (int attempt = 0; attempt < kNamesTried; ++attempt) {
        const std::string random = names();
        std::filesystem::path name = beside.filename();
        name += path_from_utf8("." + random + std::string(ending));
        if (name.native().size() > kMaxNameLength) name = path_from_utf8("plinth-" + random + std::string(ending));
        const std::filesystem::path candidate = beside.parent_path() / name;
        TemporaryFile file;
#ifdef _WIN32
        // CREATE_NEW fails on any name that exists, a link's included, and never follows one.
        HANDLE handle = CreateFileW(candidate.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            file.handle_ = handle;
            file.path_ = candidate;
            return file;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
        return fail("no temporary file can be made beside it: " + system_reason(static_cast<int>(error)));
#else
        // O_EXCL refuses a name that exists, a link's included, dangling or not.
        const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            file.fd_ = fd;
            file.path_ = candidate;
            return file;
        }
        const int error = errno;
        if (error == EEXIST) continue;
        return fail("no temporary file can be made beside it: " + system_reason(error));
#endif
    }
    return fail("every one of the " + std::to_string(kNamesTried) + " temporary names tried beside it was taken");
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept { *this = std::move(other); }

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
    if (this == &other) return *this;
    discard();
    path_ = std::exchange(other.path_, {});
#ifdef _WIN32
    handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
#else
    fd_ = std::exchange(other.fd_, -1);
#endif
    return *this;
}

TemporaryFile::~TemporaryFile() { discard(); }

void TemporaryFile::discard() {
    close();
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
    path_.clear();
}

void TemporaryFile::close() {
#ifdef _WIN32
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
#else
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
#endif
}

Status TemporaryFile::write_at(std::uint64_t offset, ByteView bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t chunk = std::min<std::size_t>(bytes.size() - done, 1u << 30);
#ifdef _WIN32
        OVERLAPPED at = at_offset(offset + done);
        DWORD wrote = 0;
        if (!WriteFile(handle_, bytes.data() + done, static_cast<DWORD>(chunk), &wrote, &at)) {
            return fail(system_reason(static_cast<int>(GetLastError())));
        }
#else
        const ssize_t wrote = ::pwrite(fd_, bytes.data() + done, chunk, static_cast<off_t>(offset + done));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return fail(system_reason(wrote < 0 ? errno : EIO));
#endif
        done += static_cast<std::size_t>(wrote);
    }
    return success();
}

Status TemporaryFile::read_at(std::uint64_t offset, std::span<std::uint8_t> into) {
    for (std::size_t done = 0; done < into.size();) {
        const std::size_t chunk = std::min<std::size_t>(into.size() - done, 1u << 30);
#ifdef _WIN32
        OVERLAPPED at = at_offset(offset + done);
        DWORD got = 0;
        if (!ReadFile(handle_, into.data() + done, static_cast<DWORD>(chunk), &got, &at)) {
            return fail(system_reason(static_cast<int>(GetLastError())));
        }
        if (got == 0) return fail("it ends early");
#else
        const ssize_t got = ::pread(fd_, into.data() + done, chunk, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return fail(system_reason(errno));
        if (got == 0) return fail("it ends early");
#endif
        done += static_cast<std::size_t>(got);
    }
    return success();
}

void TemporaryFile::unlink_name() {
#ifndef _WIN32
    if (!path_.empty() && ::unlink(path_.c_str()) == 0) path_.clear();
#endif
}

Status TemporaryFile::rename_to(const std::filesystem::path& target) {
    close();
    std::error_code error;
    std::filesystem::rename(path_, target, error);
    if (error) return fail(error.message());
    path_.clear();
    return success();
}

}  // namespace plinth::pack
