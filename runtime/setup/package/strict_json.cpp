#include "package/strict_json.h"

#include <cstddef>
#include <cstring>

#include "common/text.h"

namespace plinth {
namespace {

// Failure texts given from two places.
constexpr char kNotAValue[] = "not a JSON value";
constexpr char kBadEscape[] = "an unknown escape or a control character in a string";
constexpr char kBadHex[] = "a \\u escape without four hex digits";
constexpr char kLoneHigh[] = "an escape of half a character (a lone high surrogate)";
constexpr char kLoneLow[] = "an escape of half a character (a lone low surrogate)";
constexpr char kTooDeep[] = "nesting deeper than 127 levels";
static_assert(kMaxJsonDepth == 127, "kTooDeep names the limit");

bool is_digit(char c) { return c >= '0' && c <= '9'; }

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

// The faults of the text as a whole: a NUL byte, nesting deeper than kMaxJsonDepth, an escape of
// a lone low surrogate. The first of them is what a refused text is refused for, even where a
// fault of the syntax comes earlier: the messages have always named these first. Looked for only
// once the text is refused, by a scan that skips strings as the reader does; the reader refuses
// each of them too, so an accepted text has none.
const char* whole_text_fault(std::string_view text, std::size_t& at) {
    int depth = 0;
    bool in_string = false;
    for (at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '\0') return "a NUL byte";
        if (in_string) {
            if (c == '\\') {
                const long unit = escaped_unit(text, at);
                if (is_low_surrogate(unit)) return kLoneLow;
                // A high surrogate takes the low one after it along. Any other escape is one byte
                // after the backslash, and a NUL there is still found on the next round.
                if (is_high_surrogate(unit) && is_low_surrogate(escaped_unit(text, at + 6))) {
                    at += 11;
                } else if (at + 1 < text.size() && text[at + 1] != '\0') {
                    ++at;
                }
            } else if (c == '"') {
                in_string = false;
            }
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxJsonDepth) return kTooDeep;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return nullptr;
}

// The kind and value of a number written by the JSON grammar.
void classify_number(JsonValue& number) {
    std::string_view digits = number.text;
    const bool negative = digits[0] == '-';
    if (negative) digits.remove_prefix(1);
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

// Recursive descent over the text, stopping at the first fault. The end of the text reads as a
// NUL byte, which no rule accepts.
class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool document(JsonValue& root) {
        skip_space();
        if (peek() == 0) return fail("no value");
        if (!value(root, 0)) return false;
        skip_space();
        return at_ == text_.size() || fail("more than white space after the value");
    }

    const char* fault = nullptr;  // why the text is refused
    std::size_t fault_at = 0;     // and where

private:
    unsigned char peek(std::size_t ahead = 0) const {
        return at_ + ahead < text_.size() ? text_[at_ + ahead] : 0;
    }
    bool take(char c) {
        if (peek() != static_cast<unsigned char>(c)) return false;
        ++at_;
        return true;
    }
    bool fail(const char* why) { return fail(why, at_); }
    bool fail(const char* why, std::size_t at) {
        fault = why;
        fault_at = at;
        return false;
    }
    void skip_space() {
        while (peek() != 0 && std::memchr(" \t\n\r", peek(), 4)) ++at_;
    }
    // One or more digits, or the fault of their absence.
    bool digits(const char* missing) {
        if (!is_digit(peek())) return fail(missing);
        while (is_digit(peek())) ++at_;
        return true;
    }

    bool value(JsonValue& v, int depth) {
        const char c = peek();
        if (c == '"') {
            v.type = JsonType::string;
            return string(v.text);
        }
        if (c == '[' || c == '{') return container(v, depth);
        if (c == 'n' || c == 't' || c == 'f') {
            for (const char* word = c == 'n' ? "null" : c == 't' ? "true" : "false"; *word; ++word) {
                if (!take(*word)) return fail(kNotAValue);
            }
            if (c != 'n') v.type = JsonType::boolean;
            v.boolean = c == 't';
            return true;
        }
        // A number: kept as written, whatever its size.
        const std::size_t start = at_;
        take('-');
        if (!take('0') && !digits(kNotAValue)) return false;
        if (take('.') && !digits("a number without digits after its point")) return false;
        if (take('e') || take('E')) {
            if (!take('+')) take('-');
            if (!digits("a number without digits in its exponent")) return false;
        }
        v.type = JsonType::number;
        v.text = text_.substr(start, at_ - start);
        classify_number(v);
        return true;
    }

    bool container(JsonValue& v, int depth) {
        const bool object = peek() == '{';
        if (depth == kMaxJsonDepth) return fail(kTooDeep);
        ++at_;
        v.type = object ? JsonType::object : JsonType::array;
        const char close = object ? '}' : ']';
        skip_space();
        if (take(close)) return true;
        for (;;) {
            JsonValue* item;
            if (object) {
                if (peek() != '"') return fail("a member name (a string) expected");
                JsonMember& member = v.members.emplace_back();
                if (!string(member.key)) return false;
                skip_space();
                if (!take(':')) return fail("a colon expected after the member name");
                skip_space();
                item = &member.value;
            } else {
                item = &v.elements.emplace_back();
            }
            if (!value(*item, depth + 1)) return false;
            skip_space();
            if (take(',')) {
                skip_space();
            } else if (take(close)) {
                return true;
            } else {
                return fail(object ? "a comma or } expected" : "a comma or ] expected");
            }
        }
    }

    // The string at the quote, its escapes decoded. Escape faults are placed at the backslash,
    // a character that isn't UTF-8 at its first byte.
    bool string(std::string& out) {
        ++at_;
        for (;;) {
            const std::size_t here = at_;
            const unsigned char c = peek();
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c == '\\') {
                static constexpr char kEscapes[] = "\"\\/bfnrt";
                static constexpr char kMeanings[] = "\"\\/\b\f\n\r\t";
                const char e = static_cast<char>(peek(1));
                if (const void* known = e == 0 ? nullptr : std::memchr(kEscapes, e, 8)) {
                    out += kMeanings[static_cast<const char*>(known) - kEscapes];
                    at_ += 2;
                    continue;
                }
                if (e != 'u') return fail(kBadEscape, here);
                long unit = escaped_unit(text_, here);
                if (unit < 0) return fail(kBadHex, here);
                at_ += 6;
                if (is_low_surrogate(unit)) return fail(kLoneLow, here);
                if (is_high_surrogate(unit)) {
                    if (peek() != '\\' || peek(1) != 'u') return fail(kLoneHigh, here);
                    const long low = escaped_unit(text_, at_);
                    if (low < 0) return fail(kBadHex, here);
                    if (!is_low_surrogate(low)) return fail(kLoneHigh, here);
                    at_ += 6;
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                }
                put_utf8(out, static_cast<char32_t>(unit));
                continue;
            }
            if (c < 0x20) return fail(c == 0 ? "a string without its closing quote" : kBadEscape);
            // A malformed sequence moves one byte on and reads as U+FFFD; U+FFFD itself is three.
            if (next_scalar(text_, at_) == 0xFFFD && at_ == here + 1) {
                return fail("a string that isn't valid UTF-8", here);
            }
            out.append(text_.data() + here, at_ - here);
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

const JsonValue* JsonValue::find(std::string_view key) const {
    for (auto member = members.rbegin(); member != members.rend(); ++member) {
        if (member->key == key) return &member->value;
    }
    return nullptr;
}

const char* json_type_name(JsonType type) {
    switch (type) {
        case JsonType::null: return "null";
        case JsonType::boolean: return "boolean";
        case JsonType::number: return "number";
        case JsonType::string: return "string";
        case JsonType::array: return "array";
        case JsonType::object: return "object";
    }
    return "value";
}

Expected<JsonValue, std::string> parse_strict_json(std::string_view text) {
    JsonValue root;
    Reader reader(text);
    if (reader.document(root)) return root;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        return unexpected(std::string("the text starts with a byte-order mark"));
    }
    std::size_t at;
    const char* why = whole_text_fault(text, at);
    if (!why) {
        why = reader.fault;
        at = reader.fault_at;
    }
    // Lines and columns count from 1; a column counts characters (UTF-8 sequences), not bytes.
    std::size_t line = 1;
    std::size_t column = 1;
    for (std::size_t i = 0; i < at; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++line;
            column = 1;
        } else if ((c & 0xC0) != 0x80) {
            ++column;
        }
    }
    return unexpected(concat({why, " at line ", decimal_text(line), ", column ", decimal_text(column)}));
}

}  // namespace plinth
