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

std::optional<std::uint32_t> read_u32(PeSource& file, std::uint64_t offset, std::size_t width = 4) {
    std::array<std::uint8_t, 4> bytes{};
    if (!file.read(offset, std::span(bytes.data(), width))) return std::nullopt;
    return static_cast<std::uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16) | std::uint32_t{bytes[3]} << 24;
}

std::optional<std::uint32_t> read_u16(PeSource& file, std::uint64_t offset) { return read_u32(file, offset, 2); }

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
    ResourceWalk(PeSource& file, PeLayout& layout, std::uint64_t root, std::uint64_t limit)
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
    std::optional<std::uint32_t> u32(std::uint64_t offset) { return read_u32(file_, root_ + offset); }

    bool table(std::uint64_t offset, int level, PeResource resource) {
        if (++tables_ > kMaxPeResources || !take(offset, 16)) return false;
        const auto named = read_u16(file_, root_ + offset + 12);
        const auto numbered = read_u16(file_, root_ + offset + 14);
        if (!named || !numbered) return false;
        const std::uint64_t count = std::uint64_t{*named} + *numbered;
        if (!take(offset + 16, count * 8)) return false;
        for (std::uint64_t entry = offset + 16; entry < offset + 16 + count * 8; entry += 8) {
            const auto name = u32(entry);
            const auto target = u32(entry + 4);
            if (!name || !target) return false;
            if ((*name & kHighBit) != 0) {
                // Named: not one of ours, but its name is part of the directory.
                const std::uint64_t at = *name & ~kHighBit;
                const auto length = take(at, 2) ? read_u16(file_, root_ + at) : std::nullopt;
                if (!length || !take(at + 2, std::uint64_t{*length} * 2)) return false;
                continue;
            }
            (level == 0 ? resource.type : level == 1 ? resource.id : resource.language) = *name;
            const bool subdirectory = (*target & kHighBit) != 0;
            if (subdirectory != (level < 2)) return false;
            if (subdirectory ? !table(*target & ~kHighBit, level + 1, resource) : !data(*target, resource)) return false;
        }
        return true;
    }

    bool data(std::uint64_t offset, PeResource resource) {
        if (layout_.resources.size() >= kMaxPeResources || !take(offset, 16)) return false;
        const auto rva = u32(offset);
        const auto size = u32(offset + 4);
        if (!rva || !size) return false;
        const auto at = file_offset_of(layout_.sections, *rva, *size);
        if (!at) return false;
        resource.offset = *at;
        resource.size = *size;
        layout_.resources.push_back(resource);
        return true;
    }

    PeSource& file_;
    PeLayout& layout_;
    std::uint64_t root_;
    std::uint64_t limit_;
    std::uint64_t extent_ = 0;
    std::size_t tables_ = 0;
};

// The sections from the table at `table`, each one's raw data inside the file.
bool read_sections(PeSource& file, std::uint64_t table, std::size_t count, PeLayout& layout) {
    layout.end_of_sections = layout.headers_size;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t header = table + i * 40;
        const auto virtual_size = read_u32(file, header + 8);
        const auto rva = read_u32(file, header + 12);
        const auto raw_size = read_u32(file, header + 16);
        const auto raw_pointer = read_u32(file, header + 20);
        if (!virtual_size || !rva || !raw_size || !raw_pointer) return false;
        const PeSection section{*rva, *virtual_size, *raw_size == 0 ? 0 : *raw_pointer, *raw_size};
        if (!in_bounds(section.file_offset, section.file_size, file.size())) return false;
        if (section.file_size != 0) {
            layout.end_of_sections = std::max<std::uint64_t>(layout.end_of_sections, std::uint64_t{section.file_offset} + section.file_size);
        }
        layout.sections.push_back(section);
    }
    return true;
}

// The resources, from the data directory's entry for them.
bool read_resources(PeSource& file, std::uint32_t rva, std::uint32_t size, PeLayout& layout) {
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

std::optional<PeLayout> read_pe_layout(PeSource& file) {
    const auto pe_at = read_u32(file, 0x3c);
    const auto mz = read_u16(file, 0);
    if (!mz || *mz != 0x5a4d || !pe_at) return std::nullopt;
    const auto signature = read_u32(file, *pe_at);
    const auto section_count = read_u16(file, std::uint64_t{*pe_at} + 6);
    const auto optional_size = read_u16(file, std::uint64_t{*pe_at} + 20);
    if (!signature || *signature != 0x00004550 || !section_count || !optional_size || *section_count > kMaxSections)
        return std::nullopt;
    const std::uint64_t optional_at = std::uint64_t{*pe_at} + 24;
    const auto magic = read_u16(file, optional_at);
    if (!magic || (*magic != 0x10b && *magic != 0x20b)) return std::nullopt;
    const std::uint64_t directories = optional_at + (*magic == 0x20b ? 112 : 96);
    const auto directory_count = read_u32(file, directories - 4);
    const auto headers_size = read_u32(file, optional_at + 60);
    if (!directory_count || !headers_size || *headers_size > file.size()) return std::nullopt;

    PeLayout layout;
    layout.headers_size = *headers_size;
    const std::uint64_t table = optional_at + *optional_size;
    if (!in_bounds(table, std::uint64_t{*section_count} * 40, file.size())) return std::nullopt;
    if (!read_sections(file, table, *section_count, layout)) return std::nullopt;

    // A directory entry counts only when the optional header holds it.
    const std::uint64_t entry = directories + kDirectoryResource * 8;
    if (*directory_count > kDirectoryResource && entry + 8 <= table) {
        const auto rva = read_u32(file, entry);
        const auto size = read_u32(file, entry + 4);
        if (!rva || !size || !read_resources(file, *rva, *size, layout)) return std::nullopt;
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
