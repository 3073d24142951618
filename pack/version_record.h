// The version record (VS_VERSIONINFO) that Windows shows in a file's properties.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "byte_io.h"

namespace plinth::pack {

struct VersionStrings {
    std::string product_name;
    std::string product_version;
    std::string company_name;
    std::string file_description;
};

// The leading numeric parts of a version text, up to four ("1.2.3-beta" gives 1, 2, 3, 0);
// a part above 65535 or missing is 0.
std::array<std::uint16_t, 4> numeric_version(std::string_view text);

// A version record in US English, Unicode, carrying the strings and the numeric version in
// its fixed part (as both file and product version).
Bytes build_version_record(const VersionStrings& strings);

// The texts of a version record's string tables ("ProductName" -> "Notes"), every table merged,
// the first table's value kept when a name repeats. A malformed record yields what could be read
// before the damage; nothing is read outside `record`.
std::map<std::u16string, std::u16string> read_version_strings(ByteView record);

}  // namespace plinth::pack
