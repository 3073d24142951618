#include "pe_image.h"

#include <algorithm>

namespace plinth::pack {
namespace {

constexpr std::uint16_t kPe32Magic = 0x10b;
constexpr std::uint16_t kPe32PlusMagic = 0x20b;

bool is_power_of_two(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

}  // namespace

const Section* PeImage::section_for_rva(std::uint32_t rva) const {
    for (const Section& section : sections) {
        if (rva >= section.virtual_address &&
            rva - section.virtual_address < section.virtual_extent()) {
            return &section;
        }
    }
    return nullptr;
}

std::optional<ByteView> PeImage::bytes_at_rva(std::uint32_t rva, std::uint32_t size) const {
    if (size == 0) {
        // Nothing to read: an empty resource may sit exactly at its section's end, where no
        // section "holds" the address.
        for (const Section& section : sections) {
            if (rva >= section.virtual_address && rva - section.virtual_address <= section.virtual_extent()) {
                return ByteView{};
            }
        }
        return std::nullopt;
    }
    const Section* section = section_for_rva(rva);
    if (section == nullptr) return std::nullopt;
    const std::uint64_t offset_in_section = rva - section->virtual_address;
    // Bytes beyond the raw data are zero-filled in memory but absent from the file: not readable.
    if (!in_bounds(offset_in_section, size, section->raw_size)) return std::nullopt;
    return read_span(bytes, std::uint64_t{section->raw_pointer} + offset_in_section, size);
}

std::uint64_t PeImage::end_of_sections() const {
    std::uint64_t end = size_of_headers;
    for (const Section& section : sections) {
        if (section.raw_size != 0) {
            end = std::max(end, std::uint64_t{section.raw_pointer} + section.raw_size);
        }
    }
    return end;
}

Result<PeImage> read_pe_image(ByteView bytes) {
    PeImage image;
    image.bytes = bytes;
    if (bytes.size() < 64 || bytes[0] != 'M' || bytes[1] != 'Z') {
        return fail("not a Windows executable (no MZ header)");
    }
    image.pe_offset = *read_u32(bytes, 0x3c);
    const auto signature = read_u32(bytes, image.pe_offset);
    if (!signature) return fail("not a Windows executable (the PE header lies beyond the end of the file)");
    if (*signature != 0x00004550) return fail("not a Windows executable (no PE signature)");

    const std::uint64_t coff = std::uint64_t{image.pe_offset} + 4;
    const auto machine = read_u16(bytes, coff);
    const auto section_count = read_u16(bytes, coff + 2);
    const auto symbol_table = read_u32(bytes, coff + 8);
    const auto optional_size = read_u16(bytes, coff + 16);
    if (!machine || !section_count || !symbol_table || !optional_size) {
        return fail("truncated Windows executable (the file header is cut short)");
    }
    image.machine = *machine;
    image.symbol_table_pointer = *symbol_table;
    image.optional_offset = static_cast<std::uint32_t>(coff + 20);

    const auto magic = read_u16(bytes, image.optional_offset);
    if (!magic) return fail("truncated Windows executable (no optional header)");
    if (*magic != kPe32Magic && *magic != kPe32PlusMagic) {
        return fail("not a Windows executable (unknown optional header magic)");
    }
    image.pe32_plus = *magic == kPe32PlusMagic;
    const std::uint32_t fixed_size = image.pe32_plus ? 112 : 96;
    if (*optional_size < fixed_size || !in_bounds(image.optional_offset, *optional_size, bytes.size())) {
        return fail("truncated Windows executable (the optional header is cut short)");
    }
    const std::uint64_t opt = image.optional_offset;
    image.section_alignment = *read_u32(bytes, opt + 32);
    image.file_alignment = *read_u32(bytes, opt + 36);
    image.size_of_image = *read_u32(bytes, opt + 56);
    image.size_of_headers = *read_u32(bytes, opt + 60);
    image.checksum = *read_u32(bytes, opt + 64);
    image.directory_count = *read_u32(bytes, opt + fixed_size - 4);
    if (!is_power_of_two(image.file_alignment) || !is_power_of_two(image.section_alignment) ||
        image.section_alignment < image.file_alignment) {
        return fail("damaged Windows executable (invalid section or file alignment)");
    }
    if (image.directory_count > 16 || fixed_size + image.directory_count * 8 > *optional_size) {
        return fail("damaged Windows executable (invalid data directory count)");
    }
    for (std::uint32_t i = 0; i < image.directory_count; ++i) {
        image.directories[i].rva = *read_u32(bytes, opt + fixed_size + i * 8);
        image.directories[i].size = *read_u32(bytes, opt + fixed_size + i * 8 + 4);
    }

    const std::uint64_t table = opt + *optional_size;
    if (!in_bounds(table, std::uint64_t{*section_count} * 40, bytes.size())) {
        return fail("truncated Windows executable (the section table is cut short)");
    }
    if (table + std::uint64_t{*section_count} * 40 > image.size_of_headers) {
        return fail("damaged Windows executable (the section table lies outside the headers)");
    }
    for (std::uint32_t i = 0; i < *section_count; ++i) {
        const std::uint64_t at = table + i * 40;
        Section section;
        for (std::uint64_t c = 0; c < 8 && bytes[at + c] != 0; ++c) {
            section.name.push_back(static_cast<char>(bytes[at + c]));
        }
        section.virtual_size = *read_u32(bytes, at + 8);
        section.virtual_address = *read_u32(bytes, at + 12);
        section.raw_size = *read_u32(bytes, at + 16);
        section.raw_pointer = *read_u32(bytes, at + 20);
        section.characteristics = *read_u32(bytes, at + 36);
        section.header_offset = static_cast<std::uint32_t>(at);
        if (section.raw_size != 0 && !in_bounds(section.raw_pointer, section.raw_size, bytes.size())) {
            return fail("truncated Windows executable (section " + section.name +
                        " runs past the end of the file)");
        }
        image.sections.push_back(std::move(section));
    }
    return image;
}

std::uint32_t pe_checksum(ByteView bytes, std::uint32_t checksum_offset) {
    const std::size_t size = bytes.size();
    const auto byte_at = [&](std::size_t i) -> std::uint32_t {
        if (i >= size || (i >= checksum_offset && i - checksum_offset < 4)) return 0;
        return bytes[i];
    };
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < size; i += 2) {
        sum += byte_at(i) | (byte_at(i + 1) << 8);
        sum = (sum & 0xffff) + (sum >> 16);
    }
    sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + size);
}

void PeChecksum::add(ByteView bytes) {
    std::size_t i = 0;
    const auto add_byte = [&] {
        const bool in_field = position_ >= field_ && position_ - field_ < 4;
        if (!in_field) sum_ += std::uint64_t{bytes[i]} << (position_ % 2 == 0 ? 0 : 8);
        ++i;
        ++position_;
    };
    // The field's own bytes count as zero: the piece that holds them goes byte by byte.
    if (field_ + 4 > position_ && field_ < position_ + bytes.size()) {
        while (i < bytes.size()) add_byte();
        return;
    }
    if (i < bytes.size() && position_ % 2 != 0) add_byte();
    const std::size_t pairs_start = i;
    for (; i + 1 < bytes.size(); i += 2) sum_ += bytes[i] | (std::uint32_t{bytes[i + 1]} << 8);
    position_ += i - pairs_start;
    if (i < bytes.size()) add_byte();
}

std::uint32_t PeChecksum::value() const {
    std::uint64_t sum = sum_;
    while (sum >> 16 != 0) sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + position_);
}

}  // namespace plinth::pack
