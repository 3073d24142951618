#include "platform/win32/files.h"

#include <algorithm>
#include <memory>
#include <new>

#include "platform/win32/grown_text.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace plinth::platform::win32 {
namespace {

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

bool is_drive_letter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// The position just past the separator that ends the component starting at `pos`, or the end.
std::size_t past_component(std::u16string_view path, std::size_t pos) {
    while (pos < path.size() && !is_separator(path[pos])) ++pos;
    return pos < path.size() ? pos + 1 : pos;
}

ErrorCode last_error() { return static_cast<ErrorCode>(GetLastError()); }

// Through GetFileAttributesExW, which metadata() calls too: one import fewer than
// GetFileAttributesW.
bool is_folder(const Path& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExW(wide(path), GetFileExInfoStandard, &data) &&
           (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// One folder, named by the first `end` units of `path`: the path is cut there for the calls and
// then made whole again, so that no folder on the way needs a string of its own. An existing
// folder (whatever CreateDirectoryW said about it) is success.
ErrorCode create_one_folder(Path& path, std::size_t end) {
    const char16_t kept = path[end];
    path[end] = u'\0';
    ErrorCode error = CreateDirectoryW(wide(path), nullptr) ? ERROR_SUCCESS : last_error();
    if (error != ERROR_SUCCESS && is_folder(path)) error = ERROR_SUCCESS;
    path[end] = kept;
    return error;
}

// CreateFileW without security attributes or template: one call site for the file's every
// opening rather than seven arguments at each.
[[gnu::noinline]] UniqueFile create_file(const Path& path, DWORD access, DWORD share, DWORD disposition,
                                         DWORD flags) {
    return UniqueFile(CreateFileW(wide(path), access, share, nullptr, disposition, flags, nullptr));
}

[[gnu::noinline]] UniqueFile open_existing(const Path& path, DWORD access, DWORD flags) {
    return create_file(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, flags);
}

// FileDispositionInfoEx (Windows 10 1607 and later); mingw's header hides it behind a version
// test that no _WIN32_WINNT value passes.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);

// Each read or write call moves at most this much, so that the DWORD count can't overflow.
constexpr DWORD kChunk = 1u << 30;

// Writes every byte, a chunk at a time.
[[gnu::noinline]] ErrorCode write_all(HANDLE file, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kChunk));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), want, &written, nullptr)) return last_error();
        if (written == 0) return ERROR_WRITE_FAULT;
        bytes = bytes.subspan(written);
    }
    return ERROR_SUCCESS;
}

// Deletes through FileDispositionInfo where the Ex class is not available (Windows 10 before
// 1809, FAT volumes, Wine): the read-only attribute is cleared first when the flags say to
// ignore it, and restored when the deletion is refused after all.
ErrorCode delete_by_handle_without_ex(const Path& path, std::uint32_t flags) {
    if (!(flags & FILE_DISPOSITION_FLAG_DELETE)) return ERROR_SUCCESS;
    bool ignore_read_only = flags & FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE;
    // Write access to the attributes only for a file that is read-only: a file the user may
    // delete but whose attributes they may not change is still deleted when it isn't.
    UniqueFile file = open_existing(path, DELETE | (ignore_read_only ? FILE_READ_ATTRIBUTES : 0),
                                    FILE_FLAG_OPEN_REPARSE_POINT);
    if (!file) return last_error();

    FILE_BASIC_INFO basic{};
    bool cleared = false;
    if (ignore_read_only) {
        if (!GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic))
            return last_error();
        if (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) {
            file = open_existing(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                 FILE_FLAG_OPEN_REPARSE_POINT);
            if (!file) return last_error();
            // Read again through the handle that changes them, so that the restore below puts
            // back what this file has.
            if (!GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic))
                return last_error();
        }
        if (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) {
            FILE_BASIC_INFO writable{};  // zero times: left unchanged
            writable.FileAttributes = basic.FileAttributes & ~FILE_ATTRIBUTE_READONLY;
            if (writable.FileAttributes == 0) writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
            if (!SetFileInformationByHandle(file.get(), FileBasicInfo, &writable, sizeof writable))
                return last_error();
            cleared = true;
        }
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition,
                                   sizeof disposition))
        return ERROR_SUCCESS;
    ErrorCode error = last_error();
    if (cleared) {
        FILE_BASIC_INFO restore{};
        restore.FileAttributes = basic.FileAttributes;
        SetFileInformationByHandle(file.get(), FileBasicInfo, &restore, sizeof restore);
    }
    return error;
}

}  // namespace

std::size_t root_length(std::u16string_view path) {
    std::size_t n = path.size();
    if (n >= 4 && is_separator(path[0]) && is_separator(path[1]) &&
        (path[2] == u'?' || path[2] == u'.') && is_separator(path[3])) {
        std::u16string_view rest = path.substr(4);
        if (rest.size() >= 3 && (rest[0] == u'U' || rest[0] == u'u') &&
            (rest[1] == u'N' || rest[1] == u'n') && (rest[2] == u'C' || rest[2] == u'c') &&
            (rest.size() == 3 || is_separator(rest[3]))) {
            if (rest.size() == 3) return n;
            return past_component(path, past_component(path, 8));  // server, then share
        }
        if (rest.size() >= 2 && is_drive_letter(rest[0]) && rest[1] == u':')
            return rest.size() >= 3 && is_separator(rest[2]) ? 7 : 6;
        return past_component(path, 4);  // Volume{...}, GLOBALROOT and the like
    }
    if (n >= 2 && is_separator(path[0]) && is_separator(path[1]))
        return past_component(path, past_component(path, 2));  // \\server\share
    if (n >= 2 && is_drive_letter(path[0]) && path[1] == u':')
        return n >= 3 && is_separator(path[2]) ? 3 : 2;
    if (n >= 1 && is_separator(path[0])) return 1;
    return 0;
}

ErrorCode Win32Files::create_folder_tree(const Path& path) {
    std::size_t root = root_length(path);
    std::size_t end = path.size();
    while (end > root && is_separator(path[end - 1])) --end;
    if (end <= root) return is_folder(path) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;

    // Walk up until a folder can be made (or exists), then come back down making the rest.
    const std::size_t last = end;
    Path cut = path;
    for (;;) {
        ErrorCode error = create_one_folder(cut, end);
        if (error == ERROR_SUCCESS) break;
        if (error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND) return error;
        std::size_t parent = end;
        while (parent > root && !is_separator(path[parent - 1])) --parent;
        while (parent > root && is_separator(path[parent - 1])) --parent;
        if (parent <= root) return error;
        end = parent;
    }
    // Down again, a component at a time: the same ends the walk up stopped at.
    while (end < last) {
        while (is_separator(path[end])) ++end;
        while (end < last && !is_separator(path[end])) ++end;
        if (ErrorCode error = create_one_folder(cut, end); error != ERROR_SUCCESS) return error;
    }
    return ERROR_SUCCESS;
}

SysResult<std::vector<Path>> Win32Files::list_folder(const Path& path, bool mark_folders) {
    WIN32_FIND_DATAW entry;
    UniqueFind find(FindFirstFileW(wide(join_path(path, u"*")), &entry));
    if (!find) {
        ErrorCode error = last_error();
        // A drive's root has no "." entry, so an empty one lists nothing at all.
        if (error == ERROR_FILE_NOT_FOUND) return std::vector<Path>{};
        return unexpected(error);
    }
    std::vector<Path> names;
    do {
        const wchar_t* name = entry.cFileName;
        if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'))) continue;
        Path& added = names.emplace_back(from_wide(name));
        if (mark_folders && (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) added += u'\\';
    } while (FindNextFileW(find.get(), &entry));
    ErrorCode error = last_error();
    if (error != ERROR_NO_MORE_FILES) return unexpected(error);
    return names;
}

SysResult<FileInfo> Win32Files::metadata(const Path& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide(path), GetFileExInfoStandard, &data))
        return unexpected(last_error());
    const bool link = data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
    if (link) {
        // A link: describe what it points to.
        UniqueFile file = open_existing(path, FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS);
        if (!file) return unexpected(last_error());
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(file.get(), &info)) return unexpected(last_error());
        data.dwFileAttributes = info.dwFileAttributes;
        data.nFileSizeHigh = info.nFileSizeHigh;
        data.nFileSizeLow = info.nFileSizeLow;
    }
    FileInfo info;
    info.is_folder = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    info.read_only = data.dwFileAttributes & FILE_ATTRIBUTE_READONLY;
    info.is_link = link;
    info.size = info.is_folder
                    ? 0
                    : (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return info;
}

ErrorCode Win32Files::delete_file(const Path& path) {
    return DeleteFileW(wide(path)) ? ERROR_SUCCESS : last_error();
}

ErrorCode Win32Files::delete_file_by_handle(const Path& path, std::uint32_t disposition_flags) {
    {
        // Without backup semantics a folder doesn't open, so this deletes files only, as
        // DeleteFileW does: a folder whose name happens to end in ".old" is not a leftover.
        UniqueFile file = open_existing(path, DELETE, FILE_FLAG_OPEN_REPARSE_POINT);
        if (!file) return last_error();
        FILE_DISPOSITION_INFO_EX disposition{};
        disposition.Flags = disposition_flags;
        if (SetFileInformationByHandle(file.get(), kFileDispositionInfoEx, &disposition,
                                       sizeof disposition))
            return ERROR_SUCCESS;
        ErrorCode error = last_error();
        if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED &&
            error != ERROR_INVALID_FUNCTION)
            return error;
    }
    return delete_by_handle_without_ex(path, disposition_flags);
}

ErrorCode Win32Files::remove_folder(const Path& path) {
    return RemoveDirectoryW(wide(path)) ? ERROR_SUCCESS : last_error();
}

ErrorCode Win32Files::rename(const Path& from, const Path& to) {
    // What MoveFileW does, through the import that replace() needs anyway.
    return MoveFileExW(wide(from), wide(to), MOVEFILE_COPY_ALLOWED) ? ERROR_SUCCESS : last_error();
}

ErrorCode Win32Files::replace(const Path& from, const Path& to) {
    return MoveFileExW(wide(from), wide(to), MOVEFILE_REPLACE_EXISTING) ? ERROR_SUCCESS : last_error();
}

SysResult<Path> Win32Files::canonical_path(const Path& path) {
    UniqueFile file = open_existing(path, 0, FILE_FLAG_BACKUP_SEMANTICS);
    if (!file) return unexpected(last_error());
    // Small at first, so that the growing is exercised by ordinary paths too.
    const HANDLE handle = file.get();
    return grown_text(128, &handle, [](const void* context, wchar_t* buffer, DWORD size) -> DWORD {
        return GetFinalPathNameByHandleW(*static_cast<const HANDLE*>(context), buffer, size,
                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
}

ErrorCode Win32Files::write_file(const Path& path, std::span<const std::uint8_t> bytes) {
    UniqueFile file = create_file(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (!file) return last_error();
    return write_all(file.get(), bytes);
}

namespace {

class Win32OpenFile final : public OpenFile {
public:
    explicit Win32OpenFile(UniqueFile file) : file_(std::move(file)) {}
    SysResult<std::size_t> read(std::span<std::uint8_t> into) override {
        DWORD got = 0;
        const auto want = static_cast<DWORD>(std::min<std::size_t>(into.size(), kChunk));
        if (!ReadFile(file_.get(), into.data(), want, &got, nullptr)) return unexpected(last_error());
        return std::size_t{got};
    }

private:
    UniqueFile file_;
};

}  // namespace

SysResult<std::unique_ptr<OpenFile>> Win32Files::open_for_reading(const Path& path) {
    UniqueFile file =
        create_file(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (!file) return unexpected(last_error());
    std::unique_ptr<OpenFile> open(new (std::nothrow) Win32OpenFile(std::move(file)));
    if (!open) return unexpected(static_cast<ErrorCode>(ERROR_NOT_ENOUGH_MEMORY));
    return open;
}

Expected<void, CopyFailure> Win32Files::write_file_from(const Path& path, OpenFile& source) {
    // Only the bytes: CopyFileW would carry the source's other streams along, the download's
    // Mark of the Web among them.
    UniqueFile target = create_file(path, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (!target) return unexpected(CopyFailure{.reading = false, .code = last_error()});
    constexpr std::size_t kCopyChunk = std::size_t{1} << 20;
    const std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kCopyChunk]);
    if (!buffer) return unexpected(CopyFailure{.reading = false, .code = ERROR_NOT_ENOUGH_MEMORY});
    for (;;) {
        const auto got = source.read({buffer.get(), kCopyChunk});
        if (!got) return unexpected(CopyFailure{.reading = true, .code = got.error()});
        if (*got == 0) return {};
        if (const ErrorCode error = write_all(target.get(), {buffer.get(), *got}); error != ERROR_SUCCESS)
            return unexpected(CopyFailure{.reading = false, .code = error});
    }
}

namespace {

class Win32NewFile final : public NewFile {
public:
    explicit Win32NewFile(UniqueFile file) : file_(std::move(file)) {}
    ErrorCode write(std::span<const std::uint8_t> bytes) override { return write_all(file_.get(), bytes); }

private:
    UniqueFile file_;
};

}  // namespace

SysResult<std::unique_ptr<NewFile>> Win32Files::create_new(const Path& path) {
    // CREATE_NEW never opens what is already there, a link planted under the name included.
    UniqueFile file = create_file(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (!file) return unexpected(last_error());
    return std::unique_ptr<NewFile>(std::make_unique<Win32NewFile>(std::move(file)));
}

SysResult<std::unique_ptr<NewFile>> Win32Files::open_for_append(const Path& path) {
    // Shared for writing too: an update's installer appends to the same log while this one has it.
    UniqueFile file =
        create_file(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (!file) return unexpected(last_error());
    return std::unique_ptr<NewFile>(std::make_unique<Win32NewFile>(std::move(file)));
}

namespace {

class Win32HeldFile final : public HeldFile {
public:
    explicit Win32HeldFile(UniqueFile file) : file_(std::move(file)) {}
    SysResult<std::uint64_t> size() override {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file_.get(), &size)) return unexpected(last_error());
        return static_cast<std::uint64_t>(size.QuadPart);
    }
    SysResult<std::size_t> read_at(std::uint64_t offset, std::span<std::uint8_t> into) override {
        std::size_t done = 0;
        while (done < into.size()) {
            // On a handle opened for synchronous access, the offset makes the read positional.
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset + done);
            at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
            DWORD got = 0;
            const auto want = static_cast<DWORD>(std::min<std::size_t>(into.size() - done, kChunk));
            if (!ReadFile(file_.get(), into.data() + done, want, &got, &at)) {
                if (GetLastError() == ERROR_HANDLE_EOF) break;
                return unexpected(last_error());
            }
            if (got == 0) break;
            done += got;
        }
        return done;
    }
    std::uintptr_t handle() const override { return reinterpret_cast<std::uintptr_t>(file_.get()); }

private:
    UniqueFile file_;
};

}  // namespace

SysResult<std::unique_ptr<HeldFile>> Win32Files::hold(const Path& path) {
    UniqueFile file = create_file(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (!file) return unexpected(last_error());
    std::unique_ptr<HeldFile> held(new (std::nothrow) Win32HeldFile(std::move(file)));
    if (!held) return unexpected(static_cast<ErrorCode>(ERROR_NOT_ENOUGH_MEMORY));
    return held;
}
std::uint32_t Win32Files::drive_type(const Path& root) { return GetDriveTypeW(wide(root)); }

}  // namespace plinth::platform::win32
