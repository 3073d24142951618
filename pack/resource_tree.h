// The resource tree of a PE image: type, name and language, each level sorted as Windows
// expects (string names first, by code unit, then integer ids ascending).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "byte_io.h"
#include "byte_sink.h"
#include "common/result.h"
#include "pe_image.h"
#include "stream_store.h"

namespace plinth::pack {

inline constexpr std::uint16_t kTypeIcon = 3;
inline constexpr std::uint16_t kTypeRcData = 10;
inline constexpr std::uint16_t kTypeGroupIcon = 14;
inline constexpr std::uint16_t kTypeVersion = 16;
inline constexpr std::uint16_t kTypeManifest = 24;
inline constexpr std::uint16_t kLangNeutral = 0;
inline constexpr std::uint16_t kLangEnglishUs = 0x0409;

// Bounds on a resource tree, for reading and for writing alike, so that everything the writer
// writes reads back. A real executable has a few thousand entries and short names; the bounds
// keep a crafted tree from multiplying into hours of reading or gigabytes of copies.
inline constexpr std::uint32_t kMaxResourceEntries = 1u << 18;      // directory entries, all levels
inline constexpr std::uint64_t kMaxResourceNameUnits = 1u << 20;    // UTF-16 units of all names
inline constexpr std::uint32_t kMaxDirectoryEntries = 0xffff;        // named, and numbered, per directory

// An integer id or a string name.
struct ResourceName {
    std::optional<std::uint16_t> id;
    std::u16string text;

    static ResourceName number(std::uint16_t value) { return {value, {}}; }
    static ResourceName named(std::u16string value) { return {std::nullopt, std::move(value)}; }

    friend bool operator==(const ResourceName&, const ResourceName&) = default;
    friend bool operator<(const ResourceName& a, const ResourceName& b) {
        if (a.id.has_value() != b.id.has_value()) return !a.id.has_value();
        if (a.id) return *a.id < *b.id;
        return a.text < b.text;
    }
};

// A resource's data: `bytes`, then the `stored` bytes of a stream store (a package's head in
// memory and its compressed streams in the store). A tree read from a file stores nothing.
struct ResourceData {
    Bytes bytes;
    std::uint32_t codepage = 0;
    StoredSpan stored;
    std::uint64_t size() const { return bytes.size() + stored.size; }
    friend bool operator==(const ResourceData&, const ResourceData&) = default;
};

struct ResourceTree {
    using Languages = std::map<std::uint16_t, ResourceData>;
    using Names = std::map<ResourceName, Languages>;
    std::map<ResourceName, Names> types;

    // Every language of one resource, or nothing.
    const Languages* find(const ResourceName& type, const ResourceName& name) const;
    // Replaces every language of (type, name) with the one given.
    void set(const ResourceName& type, const ResourceName& name, std::uint16_t language, Bytes bytes,
             StoredSpan stored = {});
    void remove(const ResourceName& type, const ResourceName& name);

    friend bool operator==(const ResourceTree&, const ResourceTree&) = default;
};

// Reads the image's resource tree (empty when it has none). Refuses a tree whose directories
// share a subdirectory or loop back (a directory reached twice), one beyond the bounds above,
// and one whose data adds up to more bytes than the file holds (leaves sharing their data).
Result<ResourceTree> read_resource_tree(const PeImage& image);

// The contents of a resource section mapped at `section_rva`, laid out: directory tables, data
// entries, name strings (the head, padded to 8), then the data, each blob 8-byte aligned.
struct ResourceLayout {
    Bytes head;
    std::uint64_t size = 0;  // of the whole contents
};

// Lays the tree out. Refuses a tree beyond the bounds above (a directory's counts are 16-bit
// fields), and one whose contents would pass 2 GiB or the 32-bit addresses.
Result<ResourceLayout> lay_out_resource_tree(const ResourceTree& tree, std::uint32_t section_rva);

// Writes the head, then every blob in the layout's order, the stored parts read from `store` a
// piece at a time; `written` is told each piece.
using WrittenPiece = std::function<Status(ByteView)>;
Status write_resource_contents(const ResourceTree& tree, const ResourceLayout& layout, StreamStore* store,
                               const WrittenPiece& written);

// The whole contents in memory, for a tree that stores nothing.
Result<Bytes> serialize_resource_tree(const ResourceTree& tree, std::uint32_t section_rva);

}  // namespace plinth::pack
