#include "stream_store.h"

#include <algorithm>
#include <system_error>

#include "file_io.h"

namespace plinth::pack {

Result<StoredSpan> MemoryStreamStore::append(ByteView bytes) {
    const StoredSpan span{bytes_.size(), bytes.size()};
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return span;
}

Status MemoryStreamStore::read(std::uint64_t offset, std::span<std::uint8_t> into) {
    const auto from = read_span(bytes_, offset, into.size());
    if (!from) return fail("the compressed streams end early");
    std::copy(from->begin(), from->end(), into.begin());
    return success();
}

FileStreamStore::~FileStreamStore() {
    if (path_.empty()) return;
    file_.close();
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

Result<StoredSpan> FileStreamStore::append(ByteView bytes) {
    const std::string written_beside = path_to_utf8(output_) + ": The compressed files can't be kept beside it";
    if (!file_.is_open()) {
        path_ = temporary_beside(output_, ".streams");
        file_.open(path_, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
        if (!file_) {
            path_.clear();
            return fail(written_beside + " (the folder is missing or not writable).");
        }
#ifndef _WIN32
        // Open, it needs no name: none is left behind even if the packer is killed.
        std::error_code ignored;
        if (std::filesystem::remove(path_, ignored)) path_.clear();
#endif
    }
    file_.seekp(static_cast<std::streamoff>(size_));
    file_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file_) return fail(written_beside + " (is the disk full?).");
    const StoredSpan span{size_, bytes.size()};
    size_ += bytes.size();
    return span;
}

Status FileStreamStore::read(std::uint64_t offset, std::span<std::uint8_t> into) {
    if (!in_bounds(offset, into.size(), size_)) return fail("the compressed streams end early");
    file_.seekg(static_cast<std::streamoff>(offset));
    file_.read(reinterpret_cast<char*>(into.data()), static_cast<std::streamsize>(into.size()));
    if (!file_) return fail(path_to_utf8(output_) + ": The compressed files kept beside it can't be read back.");
    return success();
}

}  // namespace plinth::pack
