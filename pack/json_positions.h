// Where each key and value of a JSON text stands: line and column, and the value's own text.
//
// The generic JSON value keeps no positions, so the packer's messages take them from this second
// pass over the same text. It is meant for text that `parse_strict_json` has accepted; on any
// other text it stops at the first thing it doesn't understand and keeps what it found so far.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace plinth::pack {

// 1-based; the column counts characters (UTF-8 sequences), not bytes.
struct TextPosition {
    std::size_t line = 1;
    std::size_t column = 1;
    friend bool operator==(const TextPosition&, const TextPosition&) = default;
    friend auto operator<=>(const TextPosition&, const TextPosition&) = default;
};

// A value's place: object member names and array indexes ("0", "1", ...) from the root.
using JsonPath = std::vector<std::string>;

struct JsonPlace {
    TextPosition value;
    TextPosition key;   // the member name's position; the value's for array elements and the root
    std::string text;   // the value as written ("8.0", "\"768\"", "[1, 2]")
};

// A member name that occurs again in the same object: the JSON value keeps the last one.
struct RepeatedKey {
    JsonPath path;  // of the member
    TextPosition first;
    TextPosition again;
};

struct JsonPlaces {
    std::map<JsonPath, JsonPlace> places;  // a repeated member's place is its last occurrence
    std::vector<RepeatedKey> repeated;

    const JsonPlace* find(const JsonPath& path) const;
};

JsonPlaces locate_json_values(std::string_view text);

}  // namespace plinth::pack
