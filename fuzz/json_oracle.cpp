// The reader strict_json.cpp had before it read JSON on its own: RapidJSON's reader with a pass of
// checks before it. Kept as the oracle of fuzz_json, which holds the two to the same verdicts,
// values and failure texts.
#include "json_oracle.h"

#include <cstddef>
#include <utility>

// Lengths as wide as the text: a string of the manifest may be longer than 32 bits can count.
#define RAPIDJSON_NO_SIZETYPEDEFINE
namespace rapidjson {
typedef std::size_t SizeType;
}
#include <rapidjson/reader.h>

namespace plinth {
namespace {

// Lines and columns count from 1; a column counts characters (UTF-8 sequences), not bytes.
std::string position_text(std::string_view text, std::size_t offset) {
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++line;
            column = 1;
        } else if ((c & 0xC0) != 0x80) {
            ++column;
        }
    }
    return "line " + decimal_text(line) + ", column " + decimal_text(column);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_number_char(char c) {
    return is_digit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// Whether the run is one JSON number, by the grammar: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
bool is_json_number(std::string_view s) {
    std::size_t i = 0;
    const auto digit = [&](std::size_t k) { return k < s.size() && is_digit(s[k]); };
    if (i < s.size() && s[i] == '-') ++i;
    if (!digit(i)) return false;
    if (s[i] == '0') {
        ++i;
    } else {
        while (digit(i)) ++i;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        if (!digit(i)) return false;
        while (digit(i)) ++i;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (!digit(i)) return false;
        while (digit(i)) ++i;
    }
    return i == s.size();
}

int hex_value(char c) {
    if (is_digit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The code unit of the \uXXXX escape at `at` (the backslash), or -1 when there is none there.
long escaped_unit(std::string_view text, std::size_t at) {
    if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u') return -1;
    long unit = 0;
    for (std::size_t k = at + 2; k < at + 6; ++k) {
        const int digit = hex_value(text[k]);
        if (digit < 0) return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

bool is_high_surrogate(long unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(long unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The checks the reader doesn't make, done on the raw text before it reads it: it takes a NUL
// byte for the end of the input, has no nesting limit, decodes a lone low surrogate escape into
// a byte sequence that is no character, and refuses numbers beyond its range (a large exponent,
// an integer of hundreds of digits, even "0e400"). The pass follows the reader's token
// boundaries: strings are skipped with their escapes, so brackets and digits inside them count
// for nothing. Every number that could be out of the reader's range is overwritten, in the copy
// the reader gets, by a zero of the same length written with an exponent ("0e000"): still valid,
// every position after it unchanged, and the number's own text is taken from the original.
Expected<std::string, std::string> prepare(std::string_view text) {
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        return unexpected(std::string("the text starts with a byte-order mark"));
    }
    std::string prepared(text);
    int depth = 0;
    bool in_string = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\0') {
            return unexpected("a NUL byte at " + position_text(text, i));
        }
        if (in_string) {
            if (c == '\\') {
                const long unit = escaped_unit(text, i);
                if (is_low_surrogate(unit)) {
                    return unexpected("an escape of half a character (a lone low surrogate) at " +
                                      position_text(text, i));
                }
                // A high surrogate takes the low one after it along; without one, the reader
                // refuses it. Any other escape is one byte after the backslash, and a NUL there
                // is still caught on the next round.
                if (is_high_surrogate(unit) && is_low_surrogate(escaped_unit(text, i + 6))) {
                    i += 11;
                } else if (i + 1 < text.size() && text[i + 1] != '\0') {
                    ++i;
                }
            } else if (c == '"') {
                in_string = false;
            }
            continue;
        }
        if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxJsonDepth) {
                return unexpected("nesting deeper than " + decimal_text(kMaxJsonDepth) + " levels at " +
                                  position_text(text, i));
            }
        } else if (c == ']' || c == '}') {
            --depth;
        } else if (c == '-' || is_digit(c)) {
            std::size_t end = i;
            while (end < text.size() && is_number_char(text[end])) ++end;
            const std::string_view run = text.substr(i, end - i);
            // The reader's range ends at an integer part of about 308 digits, or an exponent
            // above 308 less the fraction's digits: anything with an exponent or this long.
            const bool maybe_out_of_range =
                run.size() > 300 || run.find_first_of("eE") != std::string_view::npos;
            if (maybe_out_of_range && is_json_number(run)) {
                prepared.replace(i, run.size(), "0e" + std::string(run.size() - 2, '0'));
            }
            i = end - 1;
        }
    }
    return prepared;
}

// The kind and value of a number written by the JSON grammar.
void classify_number(JsonValue& number) {
    std::string_view digits = number.text;
    const bool negative = !digits.empty() && digits[0] == '-';
    if (negative) digits.remove_prefix(1);
    number.number_kind = JsonNumberKind::fractional;
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (!is_digit(c)) return;  // a fraction or an exponent
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return;  // beyond 64 bits
        value = value * 10 + digit;
    }
    if (!negative) {
        number.number_kind = JsonNumberKind::unsigned_integer;
        number.integer = value;
    } else if (value <= (std::uint64_t{1} << 63)) {
        number.number_kind = JsonNumberKind::signed_integer;
        number.integer = 0 - value;
    }
}

// Builds the generic value from the reader's events. The containers being filled wait on a
// stack of their own and join their parent whole when they close.
class ValueBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, ValueBuilder> {
public:
    ValueBuilder(std::string_view original, const char* copy) : original_(original), copy_(copy) {}

    JsonValue result;

    bool Null() { return add(JsonValue{}); }
    bool Bool(bool value) {
        JsonValue v;
        v.type = JsonType::boolean;
        v.boolean = value;
        return add(std::move(v));
    }
    // The number as written in the original text: the copy may hold a zero in its place.
    bool RawNumber(const char* at, std::size_t length, bool) {
        JsonValue v;
        v.type = JsonType::number;
        v.text = original_.substr(static_cast<std::size_t>(at - copy_), length);
        classify_number(v);
        return add(std::move(v));
    }
    bool String(const char* at, std::size_t length, bool) {
        JsonValue v;
        v.type = JsonType::string;
        v.text.assign(at, length);
        return add(std::move(v));
    }
    bool Key(const char* at, std::size_t length, bool) {
        open_.back().members.push_back(JsonMember{std::string(at, length), JsonValue{}});
        return true;
    }
    bool StartObject() { return open(JsonType::object); }
    bool EndObject(std::size_t) { return close(); }
    bool StartArray() { return open(JsonType::array); }
    bool EndArray(std::size_t) { return close(); }

private:
    bool add(JsonValue value) {
        if (open_.empty()) {
            result = std::move(value);
        } else if (JsonValue& parent = open_.back(); parent.is_array()) {
            parent.elements.push_back(std::move(value));
        } else {
            parent.members.back().value = std::move(value);
        }
        return true;
    }
    bool open(JsonType type) {
        open_.emplace_back().type = type;
        return true;
    }
    bool close() {
        JsonValue done = std::move(open_.back());
        open_.pop_back();
        return add(std::move(done));
    }

    std::string_view original_;
    const char* copy_;
    std::vector<JsonValue> open_;
};

const char* syntax_error_text(rapidjson::ParseErrorCode code) {
    switch (code) {
        case rapidjson::kParseErrorDocumentEmpty: return "no value";
        case rapidjson::kParseErrorDocumentRootNotSingular: return "more than white space after the value";
        case rapidjson::kParseErrorObjectMissName: return "a member name (a string) expected";
        case rapidjson::kParseErrorObjectMissColon: return "a colon expected after the member name";
        case rapidjson::kParseErrorObjectMissCommaOrCurlyBracket: return "a comma or } expected";
        case rapidjson::kParseErrorArrayMissCommaOrSquareBracket: return "a comma or ] expected";
        case rapidjson::kParseErrorStringUnicodeEscapeInvalidHex: return "a \\u escape without four hex digits";
        case rapidjson::kParseErrorStringUnicodeSurrogateInvalid:
            return "an escape of half a character (a lone high surrogate)";
        case rapidjson::kParseErrorStringEscapeInvalid: return "an unknown escape or a control character in a string";
        case rapidjson::kParseErrorStringMissQuotationMark: return "a string without its closing quote";
        case rapidjson::kParseErrorStringInvalidEncoding: return "a string that isn't valid UTF-8";
        case rapidjson::kParseErrorNumberMissFraction: return "a number without digits after its point";
        case rapidjson::kParseErrorNumberMissExponent: return "a number without digits in its exponent";
        default: return "not a JSON value";
    }
}

}  // namespace

Expected<JsonValue, std::string> parse_json_with_rapidjson(std::string_view text, bool* beyond_range) {
    *beyond_range = false;
    auto prepared = prepare(text);
    if (!prepared) return unexpected(std::move(prepared.error()));
    // The reader's UTF-8 check takes a character's continuation bytes without looking for the
    // end: after a lead byte that ends the text it reads up to three bytes more. They are NULs
    // here (no character goes on with a NUL), and the string is refused.
    prepared->append(3, '\0');
    // Read in place: strings are decoded within the copy and numbers come as their text, so the
    // reader allocates nothing of its own and converts no number.
    constexpr unsigned kFlags = rapidjson::kParseInsituFlag | rapidjson::kParseValidateEncodingFlag |
                                rapidjson::kParseNumbersAsStringsFlag;
    char* const copy = prepared->data();
    rapidjson::InsituStringStream stream(copy);
    ValueBuilder builder(text, copy);
    rapidjson::Reader reader;
    const rapidjson::ParseResult parsed = reader.Parse<kFlags>(stream, builder);
    if (parsed.IsError()) {
        *beyond_range = parsed.Code() == rapidjson::kParseErrorNumberTooBig;
        return unexpected(std::string(syntax_error_text(parsed.Code())) + " at " +
                          position_text(text, parsed.Offset()));
    }
    return std::move(builder.result);
}

}  // namespace plinth
