// The packer's temporary files: the output before it is renamed into place, and the compressed
// streams kept beside it. Each is created exclusively under a random name beside the output
// (O_CREAT | O_EXCL | O_NOFOLLOW on POSIX, CREATE_NEW on Windows): whatever is already at a name,
// a link another user planted there included, is never opened, truncated or followed; another
// name is tried instead. There is no fixed name to fall back on: when no name can be made, the
// packer fails and writes nothing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "byte_io.h"
#include "common/result.h"

namespace plinth::pack {

// The random part of the next name to try (8 hex digits); tests give names of their own.
using TemporaryNames = std::function<std::string()>;
TemporaryNames random_temporary_names();

class TemporaryFile {
public:
    // Names tried before giving up: 2^32 names make a collision by chance all but impossible,
    // so every name taken means someone fills the folder on purpose.
    static constexpr int kNamesTried = 16;

    // A new file beside `beside`: "<its name>.<random><ending>", or "plinth-<random><ending>"
    // when that would be longer than a file name may be. Fails with the reason (no sentence
    // end): the folder missing or not writable, or every name tried taken.
    static Result<TemporaryFile> create(const std::filesystem::path& beside, std::string_view ending,
                                        const TemporaryNames& names = random_temporary_names());

    TemporaryFile(TemporaryFile&& other) noexcept;
    TemporaryFile& operator=(TemporaryFile&& other) noexcept;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    // Closes the file and removes it, unless it was renamed into place.
    ~TemporaryFile();

    const std::filesystem::path& path() const { return path_; }
    // Each fails with the system's reason.
    Status write_at(std::uint64_t offset, ByteView bytes);
    Status read_at(std::uint64_t offset, std::span<std::uint8_t> into);
    // POSIX: the name goes now, the open file stays, so that a killed packer leaves nothing.
    // Windows keeps the name until the file is closed.
    void unlink_name();
    // Closes the file and renames it to `target`, replacing what is there.
    Status rename_to(const std::filesystem::path& target);
    // Closes the file and keeps its name, for a program that works on it by name (a signing
    // tool, which Windows would not let open it while it is held); it is still removed when
    // this ends, unless renamed.
    void close();

private:
    TemporaryFile() = default;
    // Closes the file and removes it while it has its name.
    void discard();

    std::filesystem::path path_;  // empty once renamed or unlinked
#ifdef _WIN32
    void* handle_ = reinterpret_cast<void*>(-1);
#else
    int fd_ = -1;
#endif
};

}  // namespace plinth::pack
