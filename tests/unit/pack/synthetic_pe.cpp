#include "synthetic_pe.h"

#include <functional>
#include <stdexcept>

namespace plinth::pack::testing {

std::uint32_t pe_offset(const Bytes& image) { return *read_u32(image, 0x3c); }

Bytes build_pe(const SyntheticPe& pe) {
    const std::uint32_t pe_at = 0x80;
    const std::uint32_t optional_size = pe.pe32_plus ? 240 : 224;
    const std::uint32_t table_at = pe_at + 24 + optional_size;
    const auto headers_size = static_cast<std::uint32_t>(
        align_up(table_at + 40 * pe.sections.size(), pe.file_alignment));

    Bytes out(headers_size, 0);
    out[0] = 'M';
    out[1] = 'Z';
    put_u32(out, 0x3c, pe_at);
    put_u32(out, pe_at, 0x00004550);
    put_u16(out, pe_at + 4, pe.machine);
    put_u16(out, pe_at + 6, static_cast<std::uint16_t>(pe.sections.size()));
    put_u16(out, pe_at + 20, static_cast<std::uint16_t>(optional_size));
    put_u16(out, pe_at + 22, 0x22);
    const std::uint32_t opt = pe_at + 24;
    put_u16(out, opt, pe.pe32_plus ? 0x20b : 0x10b);
    put_u32(out, opt + 32, pe.section_alignment);
    put_u32(out, opt + 36, pe.file_alignment);
    put_u32(out, opt + 60, headers_size);
    put_u16(out, opt + 68, 2);  // GUI subsystem
    const std::uint32_t dirs = opt + (pe.pe32_plus ? 112 : 96);
    put_u32(out, dirs - 4, 16);

    std::uint32_t rva = pe.section_alignment;
    for (std::size_t i = 0; i < pe.sections.size(); ++i) {
        const SyntheticSection& s = pe.sections[i];
        const std::uint32_t header = table_at + static_cast<std::uint32_t>(i) * 40;
        for (std::size_t c = 0; c < s.name.size() && c < 8; ++c) out[header + c] = static_cast<std::uint8_t>(s.name[c]);
        const std::uint32_t vsize = s.virtual_size ? s.virtual_size : static_cast<std::uint32_t>(s.data.size());
        const auto raw = static_cast<std::uint32_t>(align_up(s.data.size(), pe.file_alignment));
        put_u32(out, header + 8, vsize);
        put_u32(out, header + 12, rva);
        put_u32(out, header + 16, raw);
        put_u32(out, header + 20, static_cast<std::uint32_t>(out.size()));
        put_u32(out, header + 36, s.characteristics);
        if (static_cast<int>(i) == pe.resource_section) {
            put_u32(out, dirs + 2 * 8, rva);
            put_u32(out, dirs + 2 * 8 + 4, pe.resource_directory_size ? pe.resource_directory_size : vsize);
        }
        if (static_cast<int>(i) == pe.reloc_section) {
            put_u32(out, dirs + 5 * 8, rva);
            put_u32(out, dirs + 5 * 8 + 4, vsize);
        }
        out.insert(out.end(), s.data.begin(), s.data.end());
        out.resize(out.size() + (raw - s.data.size()), 0);
        rva += static_cast<std::uint32_t>(align_up(vsize, pe.section_alignment));
    }
    put_u32(out, opt + 56, rva);  // SizeOfImage
    put_u32(out, dirs + 4 * 8, pe.security.rva);
    put_u32(out, dirs + 4 * 8 + 4, pe.security.size);
    out.insert(out.end(), pe.overlay.begin(), pe.overlay.end());
    put_u32(out, opt + 64, pe_checksum(out, opt + 64));
    return out;
}

Bytes build_stub(const ResourceTree& tree, Bytes overlay) {
    // The resource section's contents depend on its address: the second section's is 0x2000.
    auto contents = serialize_resource_tree(tree, kStubResourceRva);
    if (!contents) throw std::runtime_error(contents.error().text);
    return build_stub_with_resources(std::move(*contents), std::move(overlay));
}

std::uint32_t section_header_offset(const Bytes& image, std::size_t index) {
    const std::uint32_t pe_at = pe_offset(image);
    return pe_at + 24 + *read_u16(image, pe_at + 20) + static_cast<std::uint32_t>(index) * 40;
}

Bytes build_stub_with_resources(Bytes contents, Bytes overlay) {
    SyntheticPe pe;
    Bytes code(0x300);
    for (std::size_t i = 0; i < code.size(); ++i) code[i] = static_cast<std::uint8_t>(i * 7 + 1);
    pe.sections.push_back({".text", code, 0x60000020});
    pe.sections.push_back({".rsrc", std::move(contents), 0xc0000040});
    pe.resource_section = 1;
    pe.sections.push_back({".reloc", Bytes{0x00, 0x10, 0, 0, 0x0c, 0, 0, 0, 0x10, 0xa0, 0x20, 0xa0}, 0x42000040});
    pe.reloc_section = 2;
    pe.overlay = std::move(overlay);
    return build_pe(pe);
}

// A version record written node by node as resource compilers write one: the strings' value
// lengths count UTF-16 units with the terminating NUL.
static void version_node(Bytes& out, std::u16string_view key, std::uint16_t type, ByteView value, std::uint16_t value_length,
          const std::function<void()>& children = {}) {
    pad_to(out, 4);
    const std::size_t start = out.size();
    append_u16(out, 0);
    append_u16(out, value_length);
    append_u16(out, type);
    for (char16_t unit : key) append_u16(out, unit);
    append_u16(out, 0);
    pad_to(out, 4);
    out.insert(out.end(), value.begin(), value.end());
    if (children) children();
    put_u16(out, start, static_cast<std::uint16_t>(out.size() - start));
}

Bytes version_record(const std::vector<std::pair<std::u16string, std::u16string>>& strings) {
    Bytes out;
    const Bytes fixed(52, 0);
    version_node(out, u"VS_VERSION_INFO", 0, fixed, 52, [&] {
        version_node(out, u"StringFileInfo", 1, {}, 0, [&] {
            version_node(out, u"040904B0", 1, {}, 0, [&] {
                for (const auto& [name, text] : strings) {
                    Bytes value;
                    for (char16_t unit : text) append_u16(value, unit);
                    append_u16(value, 0);
                    version_node(out, name, 1, value, static_cast<std::uint16_t>(text.size() + 1));
                }
            });
        });
    });
    return out;
}

}  // namespace plinth::pack::testing
