#include "file_io.h"

#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace plinth::pack {
namespace {

std::string shown(const std::filesystem::path& path) { return path_to_utf8(path); }

}  // namespace

std::filesystem::path path_from_utf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string path_to_utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

Result<Bytes> read_file(const std::filesystem::path& path, std::uint64_t max_size) {
    return read_file(path, ReadRule{max_size, false, std::nullopt});
}

namespace {

std::string link_refused(const std::filesystem::path& path) {
    return shown(path) + ": Is a link now, not the file found when the folder was walked; links aren't followed.";
}

std::string not_regular(const std::filesystem::path& path) {
    return shown(path) + ": Is not a regular file (a pipe, socket or device); it isn't read.";
}

// The checks on what was opened, the same on every host.
Status check_opened(const std::filesystem::path& path, const ReadRule& rule, std::uint64_t size) {
    if (size > rule.max_size) {
        return fail(shown(path) + ": Too large (" + std::to_string(size) + " bytes; the limit is " +
                    std::to_string(rule.max_size) + ").");
    }
    if (rule.expected_size && *rule.expected_size != size) {
        return fail(shown(path) + ": Changed while the packer worked (" + std::to_string(*rule.expected_size) +
                    " bytes when the folder was walked, " + std::to_string(size) + " now).");
    }
    return success();
}

std::string changed_while_read(const std::filesystem::path& path) {
    return shown(path) + ": Changed while it was read (it became shorter).";
}

#ifdef _WIN32
struct OwnedHandle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~OwnedHandle() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

Result<Bytes> read_opened(const std::filesystem::path& path, const ReadRule& rule) {
    std::error_code error;
    const auto status = rule.walked ? std::filesystem::symlink_status(path, error) : std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status)) return fail(shown(path) + ": No such file.");
    if (std::filesystem::is_directory(status)) return fail(shown(path) + ": Is a folder, not a file.");
    OwnedHandle file;
    // A reparse point is opened as itself, so a link swapped in after the walk is seen as one.
    file.handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | (rule.walked ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
    if (file.handle == INVALID_HANDLE_VALUE) return fail(shown(path) + ": Can't be opened for reading.");
    if (GetFileType(file.handle) != FILE_TYPE_DISK) return fail(not_regular(path));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.handle, &info)) return fail(shown(path) + ": Can't be examined.");
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return fail(link_refused(path));
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return fail(shown(path) + ": Is a folder, not a file.");
    const std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (auto checked = check_opened(path, rule, size); !checked) return fail(checked.error().text);
    Bytes bytes(static_cast<std::size_t>(size));
    for (std::size_t done = 0; done < bytes.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(file.handle, bytes.data() + done, chunk, &got, nullptr)) return fail(shown(path) + ": Can't be read.");
        if (got == 0) return fail(changed_while_read(path));
        done += got;
    }
    return bytes;
}
#else
struct OwnedDescriptor {
    int fd = -1;
    ~OwnedDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

Result<Bytes> read_opened(const std::filesystem::path& path, const ReadRule& rule) {
    OwnedDescriptor file;
    // Without blocking: a FIFO put where a file was would otherwise hang the packer in open().
    file.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (rule.walked ? O_NOFOLLOW : 0));
    if (file.fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) return fail(shown(path) + ": No such file.");
        if (error == ELOOP && rule.walked) return fail(link_refused(path));
        if (error == ENXIO) return fail(not_regular(path));
        return fail(shown(path) + ": Can't be opened for reading (" + std::strerror(error) + ").");
    }
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) return fail(shown(path) + ": Can't be examined.");
    if (S_ISDIR(info.st_mode)) return fail(shown(path) + ": Is a folder, not a file.");
    if (!S_ISREG(info.st_mode)) return fail(not_regular(path));
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (auto checked = check_opened(path, rule, size); !checked) return fail(checked.error().text);
    Bytes bytes(static_cast<std::size_t>(size));
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t got = ::read(file.fd, bytes.data() + done, std::min<std::size_t>(bytes.size() - done, 1u << 30));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return fail(shown(path) + ": Can't be read (" + std::strerror(errno) + ").");
        if (got == 0) return fail(changed_while_read(path));
        done += static_cast<std::size_t>(got);
    }
    return bytes;
}
#endif

}  // namespace

Result<Bytes> read_file(const std::filesystem::path& path, const ReadRule& rule) { return read_opened(path, rule); }

ReplacingFile::~ReplacingFile() = default;

Status ReplacingFile::open() {
    auto made = TemporaryFile::create(path_, ".partial");
    if (!made) return fail(shown(path_) + ": Can't be written (" + made.error().text + ").");
    temporary_.emplace(std::move(*made));
    return success();
}

Status ReplacingFile::write(ByteView bytes) {
    if (!temporary_) {
        if (auto opened = open(); !opened) return opened;
    }
    if (auto wrote = temporary_->write_at(written_, bytes); !wrote) {
        return fail(shown(path_) + ": Can't be written (" + wrote.error().text + ").");
    }
    written_ += bytes.size();
    return success();
}

Status ReplacingFile::write_at(std::uint64_t offset, ByteView bytes) {
    if (!temporary_ || !in_bounds(offset, bytes.size(), written_)) {
        return fail(shown(path_) + ": Can't be written (a write outside what was written).");
    }
    if (auto wrote = temporary_->write_at(offset, bytes); !wrote) {
        return fail(shown(path_) + ": Can't be written (" + wrote.error().text + ").");
    }
    return success();
}

Result<std::filesystem::path> ReplacingFile::complete() {
    if (!temporary_) {
        if (auto opened = open(); !opened) return fail(opened.error().text);
    }
    temporary_->close();
    return temporary_->path();
}

Status ReplacingFile::commit() {
    if (!temporary_) {
        if (auto opened = open(); !opened) return opened;
    }
    if (auto renamed = temporary_->rename_to(path_); !renamed) {
        return fail(shown(path_) + ": Can't be replaced (" + renamed.error().text + ").");
    }
    return success();
}

Status write_file_replacing(const std::filesystem::path& path, ByteView bytes) {
    ReplacingFile file(path);
    if (auto written = file.write(bytes); !written) return written;
    return file.commit();
}

}  // namespace plinth::pack
