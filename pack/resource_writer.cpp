#include "resource_writer.h"

#include <algorithm>

namespace plinth::pack {
namespace {

// What the writer knows about a stub it can rewrite.
struct StubLayout {
    PeImage image;
    std::size_t resource_index = 0;  // index of the resource section
};

Result<StubLayout> check_stub(ByteView stub) {
    auto image = read_pe_image(stub);
    if (!image) return fail(image.error().text);
    if (image->machine != kMachineAmd64 || !image->pe32_plus) {
        return fail("not an x86-64 Windows executable");
    }
    if (image->directory_count <= kDirSecurity) {
        return fail("the executable has no resource directory entry");
    }
    if (image->directories[kDirSecurity].rva != 0 || image->directories[kDirSecurity].size != 0) {
        return fail("the executable is already signed (pack an unsigned stub, then sign the installer)");
    }
    const DataDirectory resources = image->directories[kDirResource];
    if (resources.rva == 0) return fail("the executable has no resource section");

    StubLayout layout;
    const auto& sections = image->sections;
    const auto found = std::find_if(sections.begin(), sections.end(), [&](const Section& s) {
        return s.virtual_address == resources.rva;
    });
    if (found == sections.end()) {
        return fail("the resource directory does not start a section, so it can't be rewritten safely");
    }
    layout.resource_index = static_cast<std::size_t>(found - sections.begin());
    const Section& rsrc = *found;
    if (rsrc.raw_size == 0 || rsrc.raw_pointer % image->file_alignment != 0) {
        return fail("the resource section has no aligned data in the file");
    }
    // Its new contents are written from its start: inside the headers they would overwrite them.
    if (rsrc.raw_pointer < image->size_of_headers) {
        return fail("the resource section starts inside the headers (at byte " + std::to_string(rsrc.raw_pointer) +
                    " of " + std::to_string(image->size_of_headers) + ")");
    }

    // Sections must follow each other in memory and in the file, so moving the ones after the
    // resource section keeps them in order.
    for (std::size_t i = 1; i < sections.size(); ++i) {
        const Section& a = sections[i - 1];
        const Section& b = sections[i];
        if (std::uint64_t{a.virtual_address} + align_up(a.virtual_extent(), image->section_alignment) >
            b.virtual_address) {
            return fail("the sections overlap or are out of order");
        }
    }
    const std::uint64_t rsrc_file_end = std::uint64_t{rsrc.raw_pointer} + rsrc.raw_size;
    for (std::size_t i = layout.resource_index + 1; i < sections.size(); ++i) {
        const Section& later = sections[i];
        if ((later.characteristics & kSectionDiscardable) == 0) {
            return fail("the resource section is not the last section (" + later.name +
                        " follows it and can't be moved)");
        }
        if (later.raw_size != 0 && later.raw_pointer < rsrc_file_end) {
            return fail("section " + later.name + " lies before the resource section in the file");
        }
    }
    for (std::size_t i = 0; i < layout.resource_index; ++i) {
        const Section& earlier = sections[i];
        if (earlier.raw_size != 0 && std::uint64_t{earlier.raw_pointer} + earlier.raw_size > rsrc.raw_pointer) {
            return fail("section " + earlier.name + " lies after the resource section in the file");
        }
    }
    // Only directories the writer knows how to move may point at or after the resource section.
    for (std::size_t d = 0; d < image->directory_count; ++d) {
        if (d == kDirResource || d == kDirSecurity || d == kDirBaseReloc || d == kDirDebug) continue;
        const DataDirectory& dir = image->directories[d];
        if (dir.rva != 0 && dir.rva >= rsrc.virtual_address) {
            return fail("data directory " + std::to_string(d) + " lies after the resources, so they can't be rewritten safely");
        }
    }
    // Relocations and debug entries are moved along; they must not live in the resources, and
    // no relocation may patch a place that moves.
    const std::uint64_t rsrc_rva_end = rsrc.virtual_address + align_up(rsrc.virtual_extent(), image->section_alignment);
    for (std::size_t d : {kDirBaseReloc, kDirDebug}) {
        const DataDirectory& dir = image->directories[d];
        if (d < image->directory_count && dir.rva != 0 && dir.rva >= rsrc.virtual_address && dir.rva < rsrc_rva_end) {
            return fail("data directory " + std::to_string(d) + " lies inside the resource section");
        }
    }
    if (const DataDirectory relocs = image->directories[kDirBaseReloc]; relocs.rva != 0 && relocs.size != 0) {
        const auto blocks = image->bytes_at_rva(relocs.rva, relocs.size);
        if (!blocks) return fail("the relocations lie outside the file");
        for (std::uint64_t at = 0; at + 8 <= blocks->size();) {
            const std::uint32_t page = *read_u32(*blocks, at);
            const std::uint32_t block_size = *read_u32(*blocks, at + 4);
            if (block_size < 8) break;
            if (page >= rsrc.virtual_address) {
                return fail("relocations patch the resource section or a section after it");
            }
            at += block_size;
        }
    }
    layout.image = std::move(*image);
    return layout;
}

}  // namespace

Result<ResourceTree> read_stub_resources(ByteView stub) {
    auto layout = check_stub(stub);
    if (!layout) return fail(layout.error().text);
    return read_resource_tree(layout->image);
}

Status write_with_resources(ByteView stub, const ResourceTree& tree, StreamStore* store, ByteSink& out,
                            std::uint64_t max_image_size) {
    auto checked = check_stub(stub);
    if (!checked) return fail(checked.error().text);
    const PeImage& image = checked->image;
    const Section rsrc = image.sections[checked->resource_index];

    auto layout = lay_out_resource_tree(tree, rsrc.virtual_address);
    if (!layout) return fail(layout.error().text);
    const std::uint64_t contents_size = layout->size;

    const std::uint64_t new_raw_size = align_up(contents_size, image.file_alignment);
    const std::int64_t file_delta = static_cast<std::int64_t>(new_raw_size) - rsrc.raw_size;
    const std::int64_t rva_delta =
        static_cast<std::int64_t>(align_up(contents_size, image.section_alignment)) -
        static_cast<std::int64_t>(align_up(rsrc.virtual_extent(), image.section_alignment));
    const std::uint64_t old_file_end = std::uint64_t{rsrc.raw_pointer} + rsrc.raw_size;
    const std::uint32_t old_rva_end = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(0xffffffff, rsrc.virtual_address + align_up(rsrc.virtual_extent(), image.section_alignment)));

    // Sizes after the move, checked before anything is written.
    std::uint64_t size_of_image = 0;
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
        const Section& s = image.sections[i];
        std::uint64_t start = s.virtual_address;
        std::uint64_t extent = s.virtual_extent();
        if (i == checked->resource_index) extent = contents_size;
        if (i > checked->resource_index) start = static_cast<std::uint64_t>(start + rva_delta);
        size_of_image = std::max(size_of_image, align_up(start + extent, image.section_alignment));
    }
    const std::uint64_t output_size = static_cast<std::uint64_t>(static_cast<std::int64_t>(stub.size()) + file_delta);
    if (size_of_image > max_image_size || output_size > max_image_size) {
        return fail("the installer would be too large for Windows to load (limit " +
                    std::to_string(max_image_size) + " bytes)");
    }

    // The stub's own bytes, fixed up where they stay: the new file is what comes before the
    // resource section, the new section, then the moved sections and overlay exactly as they
    // were. Nothing fixed up lies in the old resource section, so the stub's places still hold.
    Bytes frame(stub.begin(), stub.end());
    const auto moved_rva = [&](std::uint32_t rva) -> std::uint32_t {
        return rva >= old_rva_end ? static_cast<std::uint32_t>(rva + rva_delta) : rva;
    };
    const auto moved_offset = [&](std::uint32_t offset) -> std::uint32_t {
        return offset >= old_file_end ? static_cast<std::uint32_t>(offset + file_delta) : offset;
    };

    // Section headers.
    put_u32(frame, rsrc.header_offset + 8, static_cast<std::uint32_t>(contents_size));
    put_u32(frame, rsrc.header_offset + 16, static_cast<std::uint32_t>(new_raw_size));
    for (std::size_t i = checked->resource_index + 1; i < image.sections.size(); ++i) {
        const Section& s = image.sections[i];
        put_u32(frame, s.header_offset + 12, moved_rva(s.virtual_address));
        if (s.raw_size != 0) put_u32(frame, s.header_offset + 20, moved_offset(s.raw_pointer));
    }

    // Data directories, and the debug entries' own pointers.
    put_u32(frame, image.directory_offset(kDirResource) + 4, static_cast<std::uint32_t>(contents_size));
    if (image.directory_count > kDirBaseReloc) {
        put_u32(frame, image.directory_offset(kDirBaseReloc), moved_rva(image.directories[kDirBaseReloc].rva));
    }
    if (image.directory_count > kDirDebug && image.directories[kDirDebug].rva != 0) {
        const DataDirectory debug = image.directories[kDirDebug];
        const auto old_entries = image.bytes_at_rva(debug.rva, debug.size);
        if (!old_entries) return fail("the debug directory lies outside the file");
        const std::uint64_t old_at = static_cast<std::uint64_t>(old_entries->data() - stub.data());
        for (std::uint32_t e = 0; e + 28 <= debug.size; e += 28) {
            const std::size_t at = static_cast<std::size_t>(old_at + e);
            const std::uint32_t address = *read_u32(stub, at + 20);
            const std::uint32_t pointer = *read_u32(stub, at + 24);
            if (address != 0) put_u32(frame, at + 20, moved_rva(address));
            if (pointer != 0) put_u32(frame, at + 24, moved_offset(pointer));
        }
        put_u32(frame, image.directory_offset(kDirDebug), moved_rva(debug.rva));
    }
    if (image.symbol_table_pointer != 0) {
        put_u32(frame, image.symbol_table_pointer_offset(), moved_offset(image.symbol_table_pointer));
    }

    // Optional header sizes.
    if ((rsrc.characteristics & kSectionInitializedData) != 0) {
        const std::uint32_t initialized = *read_u32(stub, image.size_of_initialized_data_offset());
        put_u32(frame, image.size_of_initialized_data_offset(),
                static_cast<std::uint32_t>(std::max<std::int64_t>(0, initialized + file_delta)));
    }
    put_u32(frame, image.size_of_image_offset(), static_cast<std::uint32_t>(size_of_image));

    // Written in order, summed as it goes; the checksum is put in its field last.
    PeChecksum checksum(image.checksum_offset());
    const WrittenPiece written = [&](ByteView piece) {
        checksum.add(piece);
        return out.write(piece);
    };
    const ByteView fixed(frame);
    if (auto status = written(fixed.first(rsrc.raw_pointer)); !status) return status;
    if (auto status = write_resource_contents(tree, *layout, store, written); !status) return status;
    const Bytes padding(static_cast<std::size_t>(new_raw_size - contents_size), 0);
    if (auto status = written(padding); !status) return status;
    if (auto status = written(fixed.subspan(static_cast<std::size_t>(old_file_end))); !status) return status;
    Bytes sum;
    append_u32(sum, checksum.value());
    return out.write_at(image.checksum_offset(), sum);
}

Result<Bytes> replace_resources(ByteView stub, const ResourceTree& tree, std::uint64_t max_image_size) {
    Bytes out;
    MemorySink sink(out);
    if (auto status = write_with_resources(stub, tree, nullptr, sink, max_image_size); !status) {
        return fail(status.error().text);
    }
    return out;
}

}  // namespace plinth::pack
