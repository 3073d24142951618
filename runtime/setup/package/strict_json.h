// Strict JSON text into a generic value.
//
// Accepts exactly standard JSON (RFC 8259): no comments, no trailing commas, no byte-order mark,
// nothing but JSON white space around the value, valid UTF-8 and escapes that form characters.
// A key that occurs twice in one object takes its last value; arrays and objects nest at most
// `kMaxJsonDepth` levels. Numbers too large for a double are still JSON: they are kept as a
// fractional value rather than refused, so that "a number that isn't a small non-negative
// integer" stays a question for the reader of the value, not a syntax error.
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "common/result.h"

namespace plinth {

inline constexpr int kMaxJsonDepth = 127;

// The value, or why the text isn't acceptable JSON (with its line and column).
Expected<nlohmann::json, std::string> parse_strict_json(std::string_view text);

}  // namespace plinth
