// A bounded reader of a PE file's layout: its sections and its integer-named resources, as
// offsets in the file, so that a file can be read (an installer's package) or cut into regions
// without being loaded or run.
//
// Every read is checked against the file's size with overflow-safe arithmetic; nothing read from
// the file is trusted. A file that breaks a rule is refused whole (nothing), never half read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace plinth {

inline constexpr std::uint32_t kResourceTypeRcdata = 10;  // RT_RCDATA
// More resources than an installer ever carries; a directory whose entries lead to more (shared
// subdirectories multiply them) is refused rather than walked.
inline constexpr std::size_t kMaxPeResources = 65536;

struct PeSection {
    std::uint32_t rva = 0;
    std::uint32_t virtual_size = 0;
    std::uint32_t file_offset = 0;  // PointerToRawData
    std::uint32_t file_size = 0;    // SizeOfRawData
};

// One resource whose type, name and language are all numbers; its data's place in the FILE.
struct PeResource {
    std::uint32_t type = 0;
    std::uint32_t id = 0;
    std::uint32_t language = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

struct PeLayout {
    std::uint64_t headers_size = 0;  // SizeOfHeaders
    std::vector<PeSection> sections;
    // The section that holds the resource directory, when the file has one.
    std::optional<std::size_t> resource_section;
    // The directory part of the resources (tables, entries, data entries, names) in the file:
    // from its root to the end of the last of them. Zero when there are no resources.
    std::uint64_t resource_directory_offset = 0;
    std::uint64_t resource_directory_size = 0;
    // In the directory's order: by type, then id, then language.
    std::vector<PeResource> resources;
    // The first byte after the last section's raw data (the headers' end when there is none):
    // where an overlay or a signature starts.
    std::uint64_t end_of_sections = 0;
};

// Where the file's bytes come from: memory, or a file read at offsets.
class PeSource {
public:
    virtual std::uint64_t size() const = 0;
    // Fills `into` with the bytes at `offset`; false when they aren't all there or can't be read.
    virtual bool read(std::uint64_t offset, std::span<std::uint8_t> into) = 0;

protected:
    ~PeSource() = default;
};

// A file in memory.
class MemoryPeSource final : public PeSource {
public:
    explicit MemoryPeSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t offset, std::span<std::uint8_t> into) override;

private:
    std::span<const std::uint8_t> bytes_;
};

// The layout of a PE32 or PE32+ file, or nothing when it isn't one or breaks a bound: headers
// outside the file, a section's raw data past the file's end, a resource directory or a
// resource's data outside its section's raw data, more than `kMaxPeResources` resources.
std::optional<PeLayout> read_pe_layout(PeSource& file);
std::optional<PeLayout> read_pe_layout(std::span<const std::uint8_t> file);

// The first resource of type RCDATA and this id, whatever its language.
std::optional<PeResource> find_rcdata(const PeLayout& layout, std::uint32_t id);

}  // namespace plinth
