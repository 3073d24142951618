// The file system through CreateFileW and friends; no fixed-size path buffers.
#pragma once

#include "platform/platform.h"

namespace plinth::platform::win32 {

class Win32Files final : public Files {
public:
    ErrorCode create_folder_tree(const Path& path) override;
    SysResult<std::vector<Path>> list_folder(const Path& path, bool mark_folders = false) override;
    SysResult<FileInfo> metadata(const Path& path) override;
    ErrorCode delete_file(const Path& path) override;
    ErrorCode delete_file_by_handle(const Path& path, std::uint32_t disposition_flags) override;
    ErrorCode remove_folder(const Path& path) override;
    ErrorCode rename(const Path& from, const Path& to) override;
    ErrorCode replace(const Path& from, const Path& to) override;
    SysResult<Path> canonical_path(const Path& path) override;
    ErrorCode write_file(const Path& path, std::span<const std::uint8_t> bytes) override;
    SysResult<std::unique_ptr<OpenFile>> open_for_reading(const Path& path) override;
    Expected<void, CopyFailure> write_file_from(const Path& path, OpenFile& source) override;
    SysResult<std::unique_ptr<NewFile>> create_new(const Path& path) override;
    SysResult<std::unique_ptr<NewFile>> open_for_append(const Path& path) override;
    SysResult<std::unique_ptr<HeldFile>> hold(const Path& path) override;
};

// The length of the part of `path` that names a root and can't be created: "C:\", "\\?\C:\",
// "\\server\share\", "\\?\UNC\server\share\", "\\?\Volume{...}\", "\" or nothing (relative).
std::size_t root_length(std::u16string_view path);

}  // namespace plinth::platform::win32
