#include "resource_tree.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

namespace plinth::pack {
namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::uint64_t kMaxTotalData = std::uint64_t{1} << 31;

const char* const kDamaged = "damaged resource section";

class TreeReader {
public:
    TreeReader(const PeImage& image, std::uint32_t base) : image_(image), base_(base) {}

    Status read(ResourceTree& tree) {
        return read_directory(0, 0, [&](const ResourceName& type, std::uint32_t type_dir) -> Status {
            return read_directory(type_dir, 1, [&](const ResourceName& name, std::uint32_t name_dir) -> Status {
                return read_directory(name_dir, 2, [&](const ResourceName& lang, std::uint32_t entry) -> Status {
                    if (!lang.id) return fail(std::string(kDamaged) + " (a language given by name)");
                    auto data = read_data_entry(entry);
                    if (!data) return fail(data.error().text);
                    tree.types[type][name][*lang.id] = std::move(*data);
                    return success();
                });
            });
        });
    }

private:
    std::optional<ByteView> at(std::uint32_t offset, std::uint32_t size) const {
        if (std::uint64_t{base_} + offset > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
        return image_.bytes_at_rva(base_ + offset, size);
    }

    // Calls `visit` with each entry's name and target offset; levels 0 and 1 hold
    // subdirectories, level 2 holds data entries.
    template <class Visit>
    Status read_directory(std::uint32_t offset, int level, Visit visit) {
        // A directory reached a second time is shared or part of a loop: following it again
        // would multiply every entry below it.
        if (!directories_.insert(offset).second) {
            return fail(std::string(kDamaged) + " (its directories are shared or loop back)");
        }
        const auto header = at(offset, 16);
        if (!header) return fail(std::string(kDamaged) + " (a directory lies outside the file)");
        const std::uint32_t count = std::uint32_t{*read_u16(*header, 12)} + *read_u16(*header, 14);
        entries_ += count;
        if (entries_ > kMaxResourceEntries) {
            return fail(std::string(kDamaged) + " (more than " + std::to_string(kMaxResourceEntries) +
                        " directory entries)");
        }
        const auto entries = at(offset + 16, count * 8);
        if (!entries) return fail(std::string(kDamaged) + " (a directory lies outside the file)");
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t name_field = *read_u32(*entries, i * 8);
            const std::uint32_t target = *read_u32(*entries, i * 8 + 4);
            auto name = read_name(name_field);
            if (!name) return fail(name.error().text);
            const bool is_directory = (target & kHighBit) != 0;
            if (is_directory != (level < 2)) return fail(std::string(kDamaged) + " (the tree is not three levels deep)");
            if (auto status = visit(*name, target & ~kHighBit); !status) return status;
        }
        return success();
    }

    Result<ResourceName> read_name(std::uint32_t field) {
        if ((field & kHighBit) == 0) {
            if (field > 0xffff) return fail(std::string(kDamaged) + " (an id above 65535)");
            return ResourceName::number(static_cast<std::uint16_t>(field));
        }
        const std::uint32_t offset = field & ~kHighBit;
        const auto length = at(offset, 2);
        if (!length) return fail(std::string(kDamaged) + " (a name lies outside the file)");
        const std::uint16_t units = *read_u16(*length, 0);
        name_units_ += units;
        if (name_units_ > kMaxResourceNameUnits) {
            return fail(std::string(kDamaged) + " (its names add up to more than " +
                        std::to_string(kMaxResourceNameUnits) + " characters)");
        }
        const auto text = at(offset + 2, std::uint32_t{units} * 2);
        if (!text) return fail(std::string(kDamaged) + " (a name lies outside the file)");
        std::u16string name;
        for (std::uint32_t i = 0; i < units; ++i) name.push_back(static_cast<char16_t>(*read_u16(*text, i * 2)));
        return ResourceName::named(std::move(name));
    }

    Result<ResourceData> read_data_entry(std::uint32_t offset) {
        const auto entry = at(offset, 16);
        if (!entry) return fail(std::string(kDamaged) + " (a data entry lies outside the file)");
        const std::uint32_t rva = *read_u32(*entry, 0);
        const std::uint32_t size = *read_u32(*entry, 4);
        // Resources don't share their bytes, so together they fit in the file; leaves that all
        // point at one blob would otherwise be copied over and over.
        total_ += size;
        if (total_ > std::min<std::uint64_t>(kMaxTotalData, image_.bytes.size())) {
            return fail(std::string(kDamaged) + " (its resources add up to more bytes than the file holds)");
        }
        const auto data = image_.bytes_at_rva(rva, size);
        if (!data) return fail(std::string(kDamaged) + " (a resource's data lies outside the file)");
        return ResourceData{Bytes(data->begin(), data->end()), *read_u32(*entry, 8)};
    }

    const PeImage& image_;
    std::uint32_t base_;
    std::unordered_set<std::uint32_t> directories_;
    std::uint64_t entries_ = 0;
    std::uint64_t name_units_ = 0;
    std::uint64_t total_ = 0;
};

// The named and the numbered entries of one directory.
template <class Map>
std::pair<std::size_t, std::size_t> entry_counts(const Map& map) {
    std::size_t named = 0;
    for (const auto& [key, value] : map) named += key.id ? 0 : 1;
    return {named, map.size() - named};
}

template <class Map>
bool directory_fits(const Map& map) {
    const auto [named, numbered] = entry_counts(map);
    return named <= kMaxDirectoryEntries && numbered <= kMaxDirectoryEntries;
}

// What the reader accepts, the writer must not exceed: every installer reads back.
Status check_bounds(const ResourceTree& tree) {
    const std::string too_many = "too many resources in one directory (at most " +
                                 std::to_string(kMaxDirectoryEntries) + " with ids and as many with names)";
    if (!directory_fits(tree.types)) return fail(too_many);
    std::uint64_t entries = tree.types.size();
    std::uint64_t name_units = 0;
    for (const auto& [type, names] : tree.types) {
        if (!directory_fits(names)) return fail(too_many);
        entries += names.size();
        name_units += type.text.size();
        for (const auto& [name, languages] : names) {
            if (languages.size() > kMaxDirectoryEntries) return fail(too_many);
            entries += languages.size();
            name_units += name.text.size();
        }
    }
    if (entries > kMaxResourceEntries) {
        return fail("too many resources (more than " + std::to_string(kMaxResourceEntries) + " directory entries)");
    }
    if (name_units > kMaxResourceNameUnits) {
        return fail("the resource names are too long (more than " + std::to_string(kMaxResourceNameUnits) +
                    " characters in all)");
    }
    return success();
}

void append_name_string(Bytes& out, const std::u16string& text) {
    append_u16(out, static_cast<std::uint16_t>(text.size()));
    for (char16_t unit : text) append_u16(out, unit);
}

}  // namespace

const ResourceTree::Languages* ResourceTree::find(const ResourceName& type, const ResourceName& name) const {
    const auto t = types.find(type);
    if (t == types.end()) return nullptr;
    const auto n = t->second.find(name);
    return n == t->second.end() ? nullptr : &n->second;
}

void ResourceTree::set(const ResourceName& type, const ResourceName& name, std::uint16_t language, Bytes bytes,
                       StoredSpan stored) {
    Languages& languages = types[type][name];
    languages.clear();
    languages[language] = ResourceData{std::move(bytes), 0, stored};
}

void ResourceTree::remove(const ResourceName& type, const ResourceName& name) {
    const auto t = types.find(type);
    if (t == types.end()) return;
    t->second.erase(name);
    if (t->second.empty()) types.erase(t);
}

Result<ResourceTree> read_resource_tree(const PeImage& image) {
    ResourceTree tree;
    const DataDirectory& directory = image.directories[kDirResource];
    if (image.directory_count <= kDirResource || directory.rva == 0) return tree;
    TreeReader reader(image, directory.rva);
    if (auto status = reader.read(tree); !status) return fail(status.error().text);
    return tree;
}

Result<ResourceLayout> lay_out_resource_tree(const ResourceTree& tree, std::uint32_t section_rva) {
    // Pass 1: sizes of the directory tables, the data entries and the name strings.
    std::uint64_t directories = 16 + 8 * std::uint64_t{tree.types.size()};
    std::uint64_t leaves = 0;
    std::uint64_t strings = 0;
    const auto count_name = [&](const ResourceName& name) {
        if (!name.id) strings += 2 + 2 * std::uint64_t{name.text.size()};
    };
    for (const auto& [type, names] : tree.types) {
        count_name(type);
        directories += 16 + 8 * std::uint64_t{names.size()};
        for (const auto& [name, languages] : names) {
            count_name(name);
            directories += 16 + 8 * std::uint64_t{languages.size()};
            leaves += languages.size();
        }
    }
    for (const auto& [type, names] : tree.types) {
        if (!type.id && type.text.size() > 0xffff) return fail("a resource name is too long");
        for (const auto& [name, languages] : names) {
            if (!name.id && name.text.size() > 0xffff) return fail("a resource name is too long");
        }
    }
    if (auto status = check_bounds(tree); !status) return fail(status.error().text);
    const std::uint64_t entries_start = directories;
    const std::uint64_t strings_start = entries_start + 16 * leaves;
    const std::uint64_t data_start = align_up(strings_start + strings, 8);
    std::uint64_t end = data_start;
    for (const auto& [type, names] : tree.types) {
        for (const auto& [name, languages] : names) {
            for (const auto& [lang, data] : languages) end = align_up(end, 8) + data.size();
        }
    }
    if (end > kHighBit || std::uint64_t{section_rva} + end > std::numeric_limits<std::uint32_t>::max()) {
        return fail("the resources are too large for a Windows executable");
    }

    // Pass 2: the head, everything at its place; the data follows it.
    ResourceLayout layout;
    layout.size = end;
    Bytes& out = layout.head;
    out.reserve(static_cast<std::size_t>(data_start));
    Bytes tail_entries;  // data entries
    Bytes tail_strings;  // name strings
    std::uint64_t data_offset = 0;  // of the next blob, from data_start
    std::uint64_t next_directory = 16 + 8 * std::uint64_t{tree.types.size()};

    const auto name_field = [&](const ResourceName& name) -> std::uint32_t {
        if (name.id) return *name.id;
        const auto offset = static_cast<std::uint32_t>(strings_start + tail_strings.size());
        append_name_string(tail_strings, name.text);
        return offset | kHighBit;
    };
    const auto directory_header = [&](Bytes& buffer, std::size_t named, std::size_t numbered) {
        append_u32(buffer, 0);  // characteristics
        append_u32(buffer, 0);  // time stamp: zero keeps the output reproducible
        append_u32(buffer, 0);  // version
        append_u16(buffer, static_cast<std::uint16_t>(named));
        append_u16(buffer, static_cast<std::uint16_t>(numbered));
    };

    // Breadth-first: root, then every type directory, then every name directory.
    auto [root_named, root_numbered] = entry_counts(tree.types);
    directory_header(out, root_named, root_numbered);
    for (const auto& [type, names] : tree.types) {
        append_u32(out, name_field(type));
        append_u32(out, static_cast<std::uint32_t>(next_directory) | kHighBit);
        next_directory += 16 + 8 * std::uint64_t{names.size()};
    }
    for (const auto& [type, names] : tree.types) {
        auto [named, numbered] = entry_counts(names);
        directory_header(out, named, numbered);
        for (const auto& [name, languages] : names) {
            append_u32(out, name_field(name));
            append_u32(out, static_cast<std::uint32_t>(next_directory) | kHighBit);
            next_directory += 16 + 8 * std::uint64_t{languages.size()};
        }
    }
    std::uint64_t next_entry = entries_start;
    for (const auto& [type, names] : tree.types) {
        for (const auto& [name, languages] : names) {
            directory_header(out, 0, languages.size());
            for (const auto& [lang, data] : languages) {
                append_u32(out, lang);
                append_u32(out, static_cast<std::uint32_t>(next_entry));
                next_entry += 16;
                data_offset = align_up(data_offset, 8);
                append_u32(tail_entries, static_cast<std::uint32_t>(section_rva + data_start + data_offset));
                append_u32(tail_entries, static_cast<std::uint32_t>(data.size()));
                append_u32(tail_entries, data.codepage);
                append_u32(tail_entries, 0);
                data_offset += data.size();
            }
        }
    }
    out.insert(out.end(), tail_entries.begin(), tail_entries.end());
    out.insert(out.end(), tail_strings.begin(), tail_strings.end());
    pad_to(out, 8);
    return layout;
}

Status write_resource_contents(const ResourceTree& tree, const ResourceLayout& layout, StreamStore* store,
                               const WrittenPiece& written) {
    if (auto status = written(layout.head); !status) return status;
    static constexpr std::uint8_t kZeros[8] = {};
    Bytes piece;
    std::uint64_t offset = 0;  // from the data's start, which the head's padding aligns
    for (const auto& [type, names] : tree.types) {
        for (const auto& [name, languages] : names) {
            for (const auto& [lang, data] : languages) {
                const std::uint64_t padding = align_up(offset, 8) - offset;
                if (auto status = written(ByteView(kZeros, padding)); !status) return status;
                if (auto status = written(data.bytes); !status) return status;
                offset += padding + data.size();
                if (data.stored.size == 0) continue;
                if (store == nullptr) return fail("the compressed streams are missing");
                // A piece at a time: the stored streams may be as large as the installer.
                piece.resize(static_cast<std::size_t>(std::min<std::uint64_t>(data.stored.size, 1 << 20)));
                for (std::uint64_t done = 0; done < data.stored.size;) {
                    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), data.stored.size - done));
                    const std::span<std::uint8_t> into(piece.data(), size);
                    if (auto status = store->read(data.stored.offset + done, into); !status) return status;
                    if (auto status = written(into); !status) return status;
                    done += size;
                }
            }
        }
    }
    return success();
}

Result<Bytes> serialize_resource_tree(const ResourceTree& tree, std::uint32_t section_rva) {
    auto layout = lay_out_resource_tree(tree, section_rva);
    if (!layout) return fail(layout.error().text);
    Bytes out;
    out.reserve(static_cast<std::size_t>(layout->size));
    MemorySink sink(out);
    auto status = write_resource_contents(tree, *layout, nullptr, [&](ByteView piece) { return sink.write(piece); });
    if (!status) return fail(status.error().text);
    return out;
}

}  // namespace plinth::pack
