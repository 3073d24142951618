#include "stream_store.h"

#include <algorithm>

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

FileStreamStore::~FileStreamStore() = default;

Result<StoredSpan> FileStreamStore::append(ByteView bytes) {
    const std::string written_beside = path_to_utf8(output_) + ": The compressed files can't be kept beside it";
    if (!file_) {
        auto made = TemporaryFile::create(output_, ".streams");
        if (!made) return fail(written_beside + " (" + made.error().text + ").");
        file_.emplace(std::move(*made));
        // Open, it needs no name: none is left behind even if the packer is killed.
        file_->unlink_name();
    }
    if (auto wrote = file_->write_at(size_, bytes); !wrote) return fail(written_beside + " (" + wrote.error().text + ").");
    const StoredSpan span{size_, bytes.size()};
    size_ += bytes.size();
    return span;
}

Status FileStreamStore::read(std::uint64_t offset, std::span<std::uint8_t> into) {
    if (!in_bounds(offset, into.size(), size_)) return fail("the compressed streams end early");
    if (into.empty()) return success();
    if (auto got = file_->read_at(offset, into); !got) {  // within size_, so the file was made
        return fail(path_to_utf8(output_) + ": The compressed files kept beside it can't be read back (" + got.error().text + ").");
    }
    return success();
}

}  // namespace plinth::pack
