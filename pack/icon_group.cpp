#include "icon_group.h"

#include <bitset>

namespace plinth::pack {
namespace {

constexpr std::size_t kIconDirSize = 6;
constexpr std::size_t kFileEntrySize = 16;
constexpr std::size_t kGroupEntrySize = 14;
constexpr std::size_t kIconIds = 0x10000;

std::string too_large(std::uint64_t total) {
    return "the icon's images add up to more than " + std::to_string(kMaxIconBytes >> 20) + " MiB (" +
           std::to_string(total) + " bytes)";
}

struct GroupEntry {
    IconImage fields;  // data empty
    std::uint16_t icon_id = 0;
};

// The entries of a group icon resource (GRPICONDIR), or nothing when malformed.
std::optional<std::vector<GroupEntry>> parse_group(ByteView group) {
    const auto reserved = read_u16(group, 0);
    const auto type = read_u16(group, 2);
    const auto count = read_u16(group, 4);
    if (!reserved || !type || !count || *reserved != 0 || *type != 1 || *count == 0) return std::nullopt;
    if (!in_bounds(kIconDirSize, std::uint64_t{*count} * kGroupEntrySize, group.size())) return std::nullopt;
    std::vector<GroupEntry> entries;
    for (std::size_t i = 0; i < *count; ++i) {
        const std::size_t at = kIconDirSize + i * kGroupEntrySize;
        GroupEntry entry;
        entry.fields.width = group[at];
        entry.fields.height = group[at + 1];
        entry.fields.color_count = group[at + 2];
        entry.fields.planes = *read_u16(group, at + 4);
        entry.fields.bit_count = *read_u16(group, at + 6);
        entry.icon_id = *read_u16(group, at + 12);
        entries.push_back(entry);
    }
    return entries;
}

// The data of an icon, preferring the group's language.
const ResourceData* find_icon(const ResourceTree& tree, std::uint16_t id, std::uint16_t language) {
    const auto* languages = tree.find(ResourceName::number(kTypeIcon), ResourceName::number(id));
    if (languages == nullptr || languages->empty()) return nullptr;
    const auto same = languages->find(language);
    return same != languages->end() ? &same->second : &languages->begin()->second;
}

}  // namespace

Result<IconSet> parse_ico(ByteView file) {
    const auto reserved = read_u16(file, 0);
    const auto type = read_u16(file, 2);
    const auto count = read_u16(file, 4);
    if (!reserved || !type || !count || *reserved != 0 || *type != 1) {
        return fail("not an icon file (no icon header)");
    }
    if (*count == 0) return fail("the icon file holds no images");
    if (!in_bounds(kIconDirSize, std::uint64_t{*count} * kFileEntrySize, file.size())) {
        return fail("truncated icon file (the directory is cut short)");
    }
    IconSet icons;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < *count; ++i) {
        const std::size_t at = kIconDirSize + i * kFileEntrySize;
        const std::uint32_t size = *read_u32(file, at + 8);
        const std::uint32_t offset = *read_u32(file, at + 12);
        total += size;
        if (total > kMaxIconBytes) return fail(too_large(total));
        const auto data = read_span(file, offset, size);
        if (!data) return fail("truncated icon file (image " + std::to_string(i + 1) + " runs past the end)");
        // An image is a PNG or a DIB that starts with its 40-byte header.
        const bool png = size >= 8 && (*data)[0] == 0x89 && (*data)[1] == 'P' && (*data)[2] == 'N' && (*data)[3] == 'G';
        const bool dib = size >= 40 && *read_u32(*data, 0) == 40;
        if (!png && !dib) {
            return fail("damaged icon file (image " + std::to_string(i + 1) + " is neither a PNG nor a bitmap)");
        }
        IconImage image;
        image.width = file[at];
        image.height = file[at + 1];
        image.color_count = file[at + 2];
        image.planes = *read_u16(file, at + 4);
        image.bit_count = *read_u16(file, at + 6);
        image.data.assign(data->begin(), data->end());
        icons.push_back(std::move(image));
    }
    return icons;
}

Result<std::optional<IconSet>> first_icon_group(const ResourceTree& tree) {
    const std::optional<IconSet> none;
    const auto groups = tree.types.find(ResourceName::number(kTypeGroupIcon));
    if (groups == tree.types.end() || groups->second.empty()) return none;
    const auto& [name, languages] = *groups->second.begin();
    if (languages.empty()) return none;
    const auto& [language, group] = *languages.begin();
    const auto entries = parse_group(group.bytes);
    if (!entries) return none;
    // Sized before anything is copied: every entry may name the same large icon.
    std::uint64_t total = 0;
    for (const GroupEntry& entry : *entries) {
        const ResourceData* icon = find_icon(tree, entry.icon_id, language);
        if (icon == nullptr) return none;
        total += icon->bytes.size();
    }
    if (total > kMaxIconBytes) return fail(too_large(total));
    IconSet icons;
    for (const GroupEntry& entry : *entries) {
        const ResourceData* icon = find_icon(tree, entry.icon_id, language);
        IconImage image = entry.fields;
        image.data = icon->bytes;
        icons.push_back(std::move(image));
    }
    return std::optional<IconSet>(std::move(icons));
}

Status put_icon_group(ResourceTree& tree, std::uint16_t group_id, const IconSet& icons, std::uint16_t language) {
    const ResourceName group_type = ResourceName::number(kTypeGroupIcon);
    const ResourceName group_name = ResourceName::number(group_id);

    // The old group's icons go, unless another group still uses them.
    std::bitset<kIconIds> old_ids;
    std::bitset<kIconIds> shared_ids;
    if (const auto* old_group = tree.find(group_type, group_name)) {
        if (!old_group->empty()) language = old_group->begin()->first;
        for (const auto& [lang, data] : *old_group) {
            if (auto entries = parse_group(data.bytes)) {
                for (const GroupEntry& entry : *entries) old_ids.set(entry.icon_id);
            }
        }
    }
    if (const auto groups = tree.types.find(group_type); groups != tree.types.end()) {
        for (const auto& [name, languages] : groups->second) {
            if (name == group_name) continue;
            for (const auto& [lang, data] : languages) {
                if (auto entries = parse_group(data.bytes)) {
                    for (const GroupEntry& entry : *entries) shared_ids.set(entry.icon_id);
                }
            }
        }
    }
    const std::bitset<kIconIds> dropped = old_ids & ~shared_ids;

    // New ids: the lowest ones from 1 up (0 isn't a valid resource id) that no remaining icon has.
    std::bitset<kIconIds> used;
    used.set(0);
    if (const auto existing = tree.types.find(ResourceName::number(kTypeIcon)); existing != tree.types.end()) {
        for (const auto& [name, languages] : existing->second) {
            if (name.id && !dropped.test(*name.id)) used.set(*name.id);
        }
    }
    const std::size_t free_ids = kIconIds - used.count();
    if (icons.size() > free_ids) {
        return fail("the icon has " + std::to_string(icons.size()) + " images, but only " + std::to_string(free_ids) +
                    " icon ids are free in the stub");
    }

    for (std::size_t id = 0; id < kIconIds; ++id) {
        if (dropped.test(id)) tree.remove(ResourceName::number(kTypeIcon), ResourceName::number(static_cast<std::uint16_t>(id)));
    }
    Bytes group;
    append_u16(group, 0);
    append_u16(group, 1);
    append_u16(group, static_cast<std::uint16_t>(icons.size()));
    std::size_t next = 1;
    for (const IconImage& icon : icons) {
        while (used.test(next)) ++next;  // ends below kIconIds: enough ids are free
        used.set(next);
        const auto id = static_cast<std::uint16_t>(next);
        tree.set(ResourceName::number(kTypeIcon), ResourceName::number(id), language, icon.data);
        group.push_back(icon.width);
        group.push_back(icon.height);
        group.push_back(icon.color_count);
        group.push_back(0);
        append_u16(group, icon.planes);
        append_u16(group, icon.bit_count);
        append_u32(group, static_cast<std::uint32_t>(icon.data.size()));
        append_u16(group, id);
    }
    tree.set(group_type, group_name, language, std::move(group));
    return success();
}

}  // namespace plinth::pack
