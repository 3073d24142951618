#include "hostile_pe.h"

#include <algorithm>

#include "pack/synthetic_pe.h"
#include "version_record.h"

namespace plinth::pack::testing {
namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;

void put_directory(Bytes& out, std::size_t at, std::uint16_t named, std::uint16_t numbered) {
    put_u16(out, at + 12, named);
    put_u16(out, at + 14, numbered);
}

void put_entry(Bytes& out, std::size_t at, std::uint32_t name, std::uint32_t target) {
    put_u32(out, at, name);
    put_u32(out, at + 4, target);
}

void put_data_entry(Bytes& out, std::size_t at, std::uint32_t offset, std::uint32_t size) {
    put_u32(out, at, kStubResourceRva + offset);
    put_u32(out, at + 4, size);
}

}  // namespace

Bytes shared_directory_resources(std::uint16_t named, std::uint16_t numbered, std::uint16_t name_units,
                                 std::uint16_t leaves) {
    const std::size_t count = std::size_t{named} + numbered;
    const std::size_t root = 0;
    const std::size_t type = root + 16 + 8 * count;
    const std::size_t language = type + 16 + 8 * count;
    const std::size_t data_entry = language + 16 + 8;
    const std::size_t name = data_entry + 16;
    const std::size_t data = align_up(name + 2 + 2 * std::size_t{name_units}, 8);
    Bytes out(data + 16, 0x5a);
    for (std::size_t dir : {root, type}) {
        std::fill(out.begin() + dir, out.begin() + dir + 12, 0);
        put_directory(out, dir, named, numbered);
        const std::size_t target = dir == root ? type : language;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t field = i < named ? static_cast<std::uint32_t>(name) | kHighBit
                                                  : static_cast<std::uint32_t>(i - named + 1);
            put_entry(out, dir + 16 + 8 * i, field, static_cast<std::uint32_t>(target) | kHighBit);
        }
    }
    std::fill(out.begin() + language, out.begin() + language + 12, 0);
    put_directory(out, language, 0, leaves);
    put_entry(out, language + 16, kLangNeutral, static_cast<std::uint32_t>(data_entry));
    put_data_entry(out, data_entry, static_cast<std::uint32_t>(data), 16);
    put_u32(out, data_entry + 8, 0);
    put_u32(out, data_entry + 12, 0);
    put_u16(out, name, name_units);
    return out;
}

Bytes looping_resources() {
    Bytes out(16 + 8, 0);
    put_directory(out, 0, 0, 1);
    put_entry(out, 16, kTypeRcData, kHighBit | 0);
    return out;
}

Bytes shared_blob_resources(std::uint16_t leaves, std::uint32_t blob_size) {
    const std::size_t type = 16 + 8;
    const std::size_t names = type + 16 + 8 * std::size_t{leaves};
    const std::size_t entries = names + 24 * std::size_t{leaves};
    const std::size_t blob = align_up(entries + 16 * std::size_t{leaves}, 8);
    Bytes out(blob + blob_size, 0);
    put_directory(out, 0, 0, 1);
    put_entry(out, 16, kTypeRcData, kHighBit | static_cast<std::uint32_t>(type));
    put_directory(out, type, 0, leaves);
    for (std::size_t i = 0; i < leaves; ++i) {
        const std::size_t name = names + 24 * i;
        const std::size_t entry = entries + 16 * i;
        put_entry(out, type + 16 + 8 * i, static_cast<std::uint32_t>(i + 1), kHighBit | static_cast<std::uint32_t>(name));
        put_directory(out, name, 0, 1);
        put_entry(out, name + 16, kLangNeutral, static_cast<std::uint32_t>(entry));
        put_data_entry(out, entry, static_cast<std::uint32_t>(blob), blob_size);
    }
    for (std::size_t i = 0; i < blob_size; ++i) out[blob + i] = static_cast<std::uint8_t>(i * 31 + 7);
    return out;
}

Bytes dib_image(std::size_t size, std::uint8_t seed) {
    Bytes data(size, seed);
    put_u32(data, 0, 40);
    return data;
}

Bytes ico_sharing_one_image(std::uint16_t count, const Bytes& image) {
    Bytes out;
    append_u16(out, 0);
    append_u16(out, 1);
    append_u16(out, count);
    const auto offset = static_cast<std::uint32_t>(6 + 16 * std::size_t{count});
    for (std::size_t i = 0; i < count; ++i) {
        out.insert(out.end(), {32, 32, 0, 0});
        append_u16(out, 1);
        append_u16(out, 32);
        append_u32(out, static_cast<std::uint32_t>(image.size()));
        append_u32(out, offset);
    }
    out.insert(out.end(), image.begin(), image.end());
    return out;
}

Bytes icon_group_resource(const std::vector<std::uint16_t>& icon_ids, std::uint32_t image_size) {
    Bytes group;
    append_u16(group, 0);
    append_u16(group, 1);
    append_u16(group, static_cast<std::uint16_t>(icon_ids.size()));
    for (std::uint16_t id : icon_ids) {
        group.insert(group.end(), {32, 32, 0, 0});
        append_u16(group, 1);
        append_u16(group, 32);
        append_u32(group, image_size);
        append_u16(group, id);
    }
    return group;
}

ResourceTree plain_stub_tree() {
    ResourceTree tree;
    tree.set(ResourceName::number(kTypeManifest), ResourceName::number(1), kLangEnglishUs, Bytes(30, 'm'));
    tree.set(ResourceName::number(kTypeIcon), ResourceName::number(1), kLangEnglishUs, dib_image(48, 1));
    tree.set(ResourceName::number(kTypeGroupIcon), ResourceName::number(1), kLangEnglishUs, icon_group_resource({1}, 48));
    tree.set(ResourceName::number(kTypeVersion), ResourceName::number(1), kLangEnglishUs,
             version_record({{u"ProductName", u"plinth"}, {u"PlinthRuntime", kThisRuntimeVersion}}));
    return tree;
}

Bytes stub_with_icons_outside_group_one(const std::vector<std::uint16_t>& ids) {
    ResourceTree tree = plain_stub_tree();
    for (std::uint16_t id : ids) {
        tree.set(ResourceName::number(kTypeIcon), ResourceName::number(id), kLangNeutral, dib_image(48, 5));
    }
    tree.set(ResourceName::number(kTypeGroupIcon), ResourceName::number(5), kLangNeutral, icon_group_resource(ids, 48));
    return build_stub(tree);
}

Bytes app_sharing_one_icon(std::uint16_t entries, std::uint32_t image_size) {
    ResourceTree tree;
    tree.set(ResourceName::number(kTypeIcon), ResourceName::number(1), kLangNeutral, dib_image(image_size, 3));
    tree.set(ResourceName::number(kTypeGroupIcon), ResourceName::number(1), kLangNeutral,
             icon_group_resource(std::vector<std::uint16_t>(entries, 1), image_size));
    return build_stub(tree);
}

Bytes stub_with_resources_inside_headers() {
    Bytes stub = build_stub(plain_stub_tree());
    // .text keeps no bytes in the file, so no section lies between the headers and .rsrc.
    put_u32(stub, section_header_offset(stub, 0) + 16, 0);
    put_u32(stub, section_header_offset(stub, 0) + 20, 0);
    put_u32(stub, section_header_offset(stub, 1) + 20, 0);
    return stub;
}

}  // namespace plinth::pack::testing
