#include "package/pe_file.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace plinth {
namespace {

// Whether [offset, offset + size) lies inside `total` bytes, without overflow.
constexpr bool in_bounds(std::uint64_t offset, std::uint64_t size, std::uint64_t total) {
    return offset <= total && size <= total - offset;
}

// Little-endian words read from the file. A read that fails refuses the file, so the first
// failure sticks and a run of reads is checked once, rather than each read being an optional.
class WordReader {
public:
    explicit WordReader(PeSource& file) : file_(file) {}

    // `count` consecutive 32-bit words at `offset`, in one read.
    void words(std::uint64_t offset, std::uint32_t* out, std::size_t count) {
        std::array<std::uint8_t, 16> bytes{};
        if (!file_.read(offset, std::span(bytes.data(), count * 4))) failed_ = true;
        for (std::size_t i = 0; i < count; ++i) out[i] = little_endian(&bytes[i * 4]);
    }
    std::uint32_t u32(std::uint64_t offset, std::size_t width = 4) {
        std::array<std::uint8_t, 4> bytes{};
        if (!file_.read(offset, std::span(bytes.data(), width))) failed_ = true;
        return little_endian(bytes.data());
    }
    std::uint32_t u16(std::uint64_t offset) { return u32(offset, 2); }
    bool ok() const { return !failed_; }
    std::uint64_t size() const { return file_.size(); }

private:
    static std::uint32_t little_endian(const std::uint8_t* b) {
        return static_cast<std::uint32_t>(b[0] | b[1] << 8 | b[2] << 16) | std::uint32_t{b[3]} << 24;
    }

    PeSource& file_;
    bool failed_ = false;
};

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::size_t kMaxSections = 96;  // the loader's own limit
constexpr std::size_t kDirectoryResource = 2;

// The place in the file of [rva, rva + size): it must lie in one section's raw data.
std::optional<std::uint64_t> file_offset_of(const std::vector<PeSection>& sections, std::uint32_t rva, std::uint32_t size) {
    for (const PeSection& section : sections) {
        if (rva < section.rva) continue;
        const std::uint64_t into = rva - section.rva;
        if (in_bounds(into, size, section.file_size)) return section.file_offset + into;
    }
    return std::nullopt;
}

// The three levels of the resource directory (type, name, language), every structure checked
// against the resource section's raw data from the root on.
class ResourceWalk {
public:
    ResourceWalk(WordReader& file, PeLayout& layout, std::uint64_t root, std::uint64_t limit)
        : file_(file), layout_(layout), root_(root), limit_(limit) {}

    bool walk() { return table(0, 0, {}); }
    std::uint64_t extent() const { return extent_; }

private:
    // Marks [offset, offset + size) from the root as directory, when it lies inside.
    bool take(std::uint64_t offset, std::uint64_t size) {
        if (!in_bounds(offset, size, limit_)) return false;
        extent_ = std::max(extent_, offset + size);
        return true;
    }

    bool table(std::uint64_t offset, int level, PeResource resource) {
        if (++tables_ > kMaxPeResources || !take(offset, 16)) return false;
        // The counts of named and of numbered entries, 16 bits each.
        const std::uint32_t counts = file_.u32(root_ + offset + 12);
        if (!file_.ok()) return false;
        const std::uint64_t count = std::uint64_t{counts & 0xFFFF} + (counts >> 16);
        if (!take(offset + 16, count * 8)) return false;
        for (std::uint64_t entry = offset + 16; entry < offset + 16 + count * 8; entry += 8) {
            std::uint32_t name_and_target[2];
            file_.words(root_ + entry, name_and_target, 2);
            if (!file_.ok()) return false;
            const std::uint32_t name = name_and_target[0];
            const std::uint32_t target = name_and_target[1];
            if ((name & kHighBit) != 0) {
                // Named: not one of ours, but its name is part of the directory.
                const std::uint64_t at = name & ~kHighBit;
                if (!take(at, 2)) return false;
                const std::uint32_t length = file_.u16(root_ + at);
                if (!file_.ok() || !take(at + 2, std::uint64_t{length} * 2)) return false;
                continue;
            }
            (level == 0 ? resource.type : level == 1 ? resource.id : resource.language) = name;
            const bool subdirectory = (target & kHighBit) != 0;
            if (subdirectory != (level < 2)) return false;
            if (subdirectory ? !table(target & ~kHighBit, level + 1, resource) : !data(target, resource)) return false;
        }
        return true;
    }

    bool data(std::uint64_t offset, PeResource resource) {
        if (layout_.resources.size() >= kMaxPeResources || !take(offset, 16)) return false;
        std::uint32_t rva_and_size[2];
        file_.words(root_ + offset, rva_and_size, 2);
        if (!file_.ok()) return false;
        const auto at = file_offset_of(layout_.sections, rva_and_size[0], rva_and_size[1]);
        if (!at) return false;
        resource.offset = *at;
        resource.size = rva_and_size[1];
        layout_.resources.push_back(resource);
        return true;
    }

    WordReader& file_;
    PeLayout& layout_;
    std::uint64_t root_;
    std::uint64_t limit_;
    std::uint64_t extent_ = 0;
    std::size_t tables_ = 0;
};

// The sections from the table at `table`, each one's raw data inside the file.
bool read_sections(WordReader& file, std::uint64_t table, std::size_t count, PeLayout& layout) {
    layout.end_of_sections = layout.headers_size;
    for (std::size_t i = 0; i < count; ++i) {
        // VirtualSize, VirtualAddress, SizeOfRawData, PointerToRawData.
        std::uint32_t field[4];
        file.words(table + i * 40 + 8, field, 4);
        if (!file.ok()) return false;
        const PeSection section{field[1], field[0], field[2] == 0 ? 0 : field[3], field[2]};
        if (!in_bounds(section.file_offset, section.file_size, file.size())) return false;
        if (section.file_size != 0) {
            layout.end_of_sections = std::max<std::uint64_t>(layout.end_of_sections, std::uint64_t{section.file_offset} + section.file_size);
        }
        layout.sections.push_back(section);
    }
    return true;
}

// The resources, from the data directory's entry for them.
bool read_resources(WordReader& file, std::uint32_t rva, std::uint32_t size, PeLayout& layout) {
    if (rva == 0 || size == 0) return true;
    for (std::size_t i = 0; i < layout.sections.size(); ++i) {
        const PeSection& section = layout.sections[i];
        if (rva < section.rva || rva - section.rva >= std::max(section.virtual_size, section.file_size)) continue;
        const std::uint64_t into = rva - section.rva;
        if (into >= section.file_size) return false;
        layout.resource_section = i;
        layout.resource_directory_offset = section.file_offset + into;
        ResourceWalk walk(file, layout, layout.resource_directory_offset, section.file_size - into);
        if (!walk.walk()) return false;
        layout.resource_directory_size = walk.extent();
        return true;
    }
    return false;
}

}  // namespace

std::optional<PeLayout> read_pe_layout(PeSource& source) {
    WordReader file(source);
    const std::uint64_t pe_at = file.u32(0x3c);
    if (file.u16(0) != 0x5a4d || !file.ok()) return std::nullopt;
    const std::uint32_t signature = file.u32(pe_at);
    const std::uint32_t section_count = file.u16(pe_at + 6);
    const std::uint32_t optional_size = file.u16(pe_at + 20);
    if (!file.ok() || signature != 0x00004550 || section_count > kMaxSections) return std::nullopt;
    const std::uint64_t optional_at = pe_at + 24;
    const std::uint32_t magic = file.u16(optional_at);
    if (!file.ok() || (magic != 0x10b && magic != 0x20b)) return std::nullopt;
    const std::uint64_t directories = optional_at + (magic == 0x20b ? 112 : 96);
    const std::uint32_t directory_count = file.u32(directories - 4);
    const std::uint32_t headers_size = file.u32(optional_at + 60);
    if (!file.ok() || headers_size > source.size()) return std::nullopt;

    PeLayout layout;
    layout.headers_size = headers_size;
    const std::uint64_t table = optional_at + optional_size;
    if (!in_bounds(table, std::uint64_t{section_count} * 40, source.size())) return std::nullopt;
    if (!read_sections(file, table, section_count, layout)) return std::nullopt;

    // A directory entry counts only when the optional header holds it.
    const std::uint64_t entry = directories + kDirectoryResource * 8;
    if (directory_count > kDirectoryResource && entry + 8 <= table) {
        std::uint32_t rva_and_size[2];
        file.words(entry, rva_and_size, 2);
        if (!file.ok() || !read_resources(file, rva_and_size[0], rva_and_size[1], layout)) return std::nullopt;
    }
    return layout;
}

bool MemoryPeSource::read(std::uint64_t offset, std::span<std::uint8_t> into) {
    if (!in_bounds(offset, into.size(), bytes_.size())) return false;
    if (!into.empty()) std::memcpy(into.data(), bytes_.data() + offset, into.size());
    return true;
}

std::optional<PeLayout> read_pe_layout(std::span<const std::uint8_t> file) {
    MemoryPeSource source(file);
    return read_pe_layout(source);
}

std::optional<PeResource> find_rcdata(const PeLayout& layout, std::uint32_t id) {
    for (const PeResource& resource : layout.resources) {
        if (resource.type == kResourceTypeRcdata && resource.id == id) return resource;
    }
    return std::nullopt;
}

}  // namespace plinth
