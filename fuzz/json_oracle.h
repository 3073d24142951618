// RapidJSON's reader behind the interface of parse_strict_json, as the oracle of fuzz_json.
#pragma once

#include <string>
#include <string_view>

#include "package/strict_json.h"

namespace plinth {

// What parse_strict_json gives for the text, read by RapidJSON. `beyond_range` says whether
// RapidJSON refused a number as too large for a double, which it does even where the text around
// it is refused anyway ("1e400-1"); parse_strict_json has no range and names the other fault.
Expected<JsonValue, std::string> parse_json_with_rapidjson(std::string_view text, bool* beyond_range);

}  // namespace plinth
