// Strict JSON text into a generic value.
//
// Accepts exactly standard JSON (RFC 8259): no comments, no trailing commas, no byte-order mark,
// nothing but JSON white space around the value, valid UTF-8 and escapes that form characters.
// Arrays and objects nest at most `kMaxJsonDepth` levels. Numbers keep the text they are written
// with and one of three kinds; a number too large for a double is still JSON (a fractional
// number), so that "a number that isn't a small non-negative integer" stays a question for the
// reader of the value, not a syntax error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace plinth {

inline constexpr int kMaxJsonDepth = 127;

enum class JsonType : std::uint8_t { null, boolean, number, string, array, object };

enum class JsonNumberKind : std::uint8_t {
    unsigned_integer,  // no sign, fraction or exponent, and at most 2^64 - 1
    signed_integer,    // a minus sign, no fraction or exponent, and at least -2^63
    fractional,        // everything else: a fraction, an exponent, or an integer beyond 64 bits
};

struct JsonMember;

struct JsonValue {
    JsonType type = JsonType::null;
    JsonNumberKind number_kind = JsonNumberKind::fractional;  // of a number
    bool boolean = false;
    std::uint64_t integer = 0;  // an integer's value; a signed one's in two's complement
    std::string text;           // a string's characters, or a number as written ("2.0", "-0")
    std::vector<JsonValue> elements;  // an array's, in order
    // An object's members as written, in order, a repeated key included: read them with `find`,
    // which gives the value a key has, its last.
    std::vector<JsonMember> members;

    bool is_object() const { return type == JsonType::object; }
    bool is_array() const { return type == JsonType::array; }
    bool is_string() const { return type == JsonType::string; }
    bool is_boolean() const { return type == JsonType::boolean; }
    bool is_number() const { return type == JsonType::number; }
    bool is_unsigned_integer() const { return is_number() && number_kind == JsonNumberKind::unsigned_integer; }

    // The member's value (the last one given for a repeated key), or null when this isn't an
    // object or has no such member.
    const JsonValue* find(std::string_view key) const;
};

struct JsonMember {
    std::string key;
    JsonValue value;
};

// "null", "boolean", "number", "string", "array" or "object".
const char* json_type_name(JsonType type);

// The value, or why the text isn't acceptable JSON (with its line and column).
Expected<JsonValue, std::string> parse_strict_json(std::string_view text);

}  // namespace plinth
