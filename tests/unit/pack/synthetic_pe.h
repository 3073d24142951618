// Minimal x86-64 PE images built in memory for the packer's tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "byte_io.h"
#include "resource_tree.h"

namespace plinth::pack::testing {

struct SyntheticSection {
    std::string name;
    Bytes data;
    std::uint32_t characteristics = 0x40000040;  // initialized, readable
    std::uint32_t virtual_size = 0;               // 0: the data's size
};

struct SyntheticPe {
    std::uint16_t machine = kMachineAmd64;
    bool pe32_plus = true;
    std::uint32_t file_alignment = 0x200;
    std::uint32_t section_alignment = 0x1000;
    std::vector<SyntheticSection> sections;
    int resource_section = -1;   // index whose start the resource directory points at
    int reloc_section = -1;      // index the base relocation directory points at
    std::uint32_t resource_directory_size = 0;
    DataDirectory security{};    // a signature's directory entry
    Bytes overlay;               // bytes after the last section
};

// Lays the image out the way a linker does: headers in the first file-aligned block, each
// section at the next aligned offset and address.
Bytes build_pe(const SyntheticPe& pe);

// A stub with .text, a resource section holding `tree`, a discardable .reloc after it and
// an overlay.
Bytes build_stub(const ResourceTree& tree, Bytes overlay = {});

// The same stub with the resource section's contents given byte for byte (mapped at
// kStubResourceRva), for trees the serializer would never write.
inline constexpr std::uint32_t kStubResourceRva = 0x2000;
Bytes build_stub_with_resources(Bytes contents, Bytes overlay = {});

// File offset of section `index`'s 40-byte header.
std::uint32_t section_header_offset(const Bytes& image, std::size_t index);

// Offsets of the fields tests poke at.
std::uint32_t pe_offset(const Bytes& image);

// A version record written node by node as resource compilers write one, with these strings.
Bytes version_record(const std::vector<std::pair<std::u16string, std::u16string>>& strings);

// The mark a plinth runtime of this packer's version carries in its version record.
inline constexpr char16_t kThisRuntimeVersion[] = u"" PLINTH_VERSION;

}  // namespace plinth::pack::testing
