// A file held open (platform::HeldFile) as the PE reader's source, read at offsets: an installer
// is read in place, never whole.
#pragma once

#include <cstdint>
#include <span>

#include "package/pe_file.h"
#include "platform/platform.h"

namespace plinth {

class HeldSource final : public PeSource {
public:
    HeldSource(platform::HeldFile& file, std::uint64_t size) : file_(file), size_(size) {}
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> into) override {
        if (offset > size_ || into.size() > size_ - offset) return false;
        const auto count = file_.read_at(offset, into);
        return count && *count == into.size();
    }

private:
    platform::HeldFile& file_;
    std::uint64_t size_;
};

}  // namespace plinth
