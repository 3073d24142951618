// A bounded reader of PE images: headers, data directories and the section table.
//
// Every offset is checked against the buffer; nothing here trusts a value read from the file.
// The image is a view: the caller keeps the bytes alive while the `PeImage` is in use.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "byte_io.h"
#include "common/result.h"

namespace plinth::pack {

inline constexpr std::uint16_t kMachineAmd64 = 0x8664;
inline constexpr std::uint32_t kSectionInitializedData = 0x00000040;
inline constexpr std::uint32_t kSectionDiscardable = 0x02000000;

enum DataDirectoryIndex : std::size_t {
    kDirExport = 0,
    kDirImport = 1,
    kDirResource = 2,
    kDirException = 3,
    kDirSecurity = 4,
    kDirBaseReloc = 5,
    kDirDebug = 6,
};

struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

struct Section {
    std::string name;  // the raw 8-byte field without trailing NULs ("/4" for long names)
    std::uint32_t virtual_size = 0;
    std::uint32_t virtual_address = 0;
    std::uint32_t raw_size = 0;
    std::uint32_t raw_pointer = 0;
    std::uint32_t characteristics = 0;
    std::uint32_t header_offset = 0;  // file offset of this section's 40-byte header

    // The extent the loader maps: the virtual size, or the raw size when the linker left it 0.
    std::uint32_t virtual_extent() const { return virtual_size != 0 ? virtual_size : raw_size; }
};

struct PeImage {
    ByteView bytes;
    std::uint32_t pe_offset = 0;        // "PE\0\0"
    std::uint16_t machine = 0;
    std::uint32_t symbol_table_pointer = 0;
    std::uint32_t optional_offset = 0;  // start of the optional header
    bool pe32_plus = false;
    std::uint32_t section_alignment = 0;
    std::uint32_t file_alignment = 0;
    std::uint32_t size_of_image = 0;
    std::uint32_t size_of_headers = 0;
    std::uint32_t checksum = 0;
    std::uint32_t directory_count = 0;
    std::array<DataDirectory, 16> directories{};
    std::vector<Section> sections;

    // Field offsets in the file, for the writer.
    std::uint32_t checksum_offset() const { return optional_offset + 64; }
    std::uint32_t size_of_image_offset() const { return optional_offset + 56; }
    std::uint32_t size_of_initialized_data_offset() const { return optional_offset + 8; }
    std::uint32_t symbol_table_pointer_offset() const { return pe_offset + 12; }
    std::uint32_t directory_offset(std::size_t index) const {
        return optional_offset + (pe32_plus ? 112u : 96u) + static_cast<std::uint32_t>(index) * 8u;
    }

    // The section whose mapped extent holds `rva`, if any.
    const Section* section_for_rva(std::uint32_t rva) const;

    // The file bytes behind [rva, rva + size), which must lie within one section's raw data.
    std::optional<ByteView> bytes_at_rva(std::uint32_t rva, std::uint32_t size) const;

    // The first byte after the last section's raw data: where an overlay would start.
    std::uint64_t end_of_sections() const;
};

// Reads the headers of a PE image (PE32 or PE32+). Fails with a sentence naming what is wrong.
Result<PeImage> read_pe_image(ByteView bytes);

// The PE checksum of an image: 16-bit one's-complement style sum of the file with the checksum
// field counted as zero, plus the file length.
std::uint32_t pe_checksum(ByteView bytes, std::uint32_t checksum_offset);

// The same checksum over a file given in pieces, in order, of any sizes.
class PeChecksum {
public:
    explicit PeChecksum(std::uint32_t checksum_offset) : field_(checksum_offset) {}
    void add(ByteView bytes);
    std::uint32_t value() const;

private:
    std::uint64_t field_;
    std::uint64_t position_ = 0;
    std::uint64_t sum_ = 0;  // of the 16-bit words, folded at the end: no carry is lost in 64 bits
};

}  // namespace plinth::pack
