#include "package/strict_json.h"

#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

namespace plinth {
namespace {

using nlohmann::json;

std::string position_text(std::string_view text, size_t offset) {
    size_t line = 1;
    size_t line_start = 0;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            line_start = i + 1;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(offset - line_start + 1);
}

bool is_number_char(char c) {
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// Whether the run is one JSON number, by the grammar: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
bool is_json_number(std::string_view s) {
    size_t i = 0;
    const auto digit = [&](size_t k) { return k < s.size() && s[k] >= '0' && s[k] <= '9'; };
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

bool overflows_double(std::string_view number) {
    const std::string copy(number);
    return !std::isfinite(std::strtod(copy.c_str(), nullptr));
}

// The checks the library doesn't make, done on the raw text before it parses it: it skips a
// byte-order mark, takes a NUL byte for the end of the input, has no nesting limit and refuses a
// number beyond the range of a double. The pass follows the library's token boundaries (strings
// are skipped with their escapes, so brackets and digits inside them count for nothing). A number
// too large for a double is replaced by a zero of the same length written with an exponent
// ("0e000"): still a fractional number, and every position after it is unchanged, so the
// library's own error positions stay right.
Expected<std::string, std::string> prepare(std::string_view text) {
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        return unexpected(std::string("the text starts with a byte-order mark"));
    }
    std::string prepared(text);
    int depth = 0;
    bool in_string = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\0') {
            return unexpected("a NUL byte at " + position_text(text, i));
        }
        if (in_string) {
            if (c == '\\') {
                ++i;  // the escaped byte can't end the string; a NUL there is still caught below
                if (i < text.size() && text[i] == '\0') {
                    return unexpected("a NUL byte at " + position_text(text, i));
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
                return unexpected("nesting deeper than " + std::to_string(kMaxJsonDepth) +
                                  " levels at " + position_text(text, i));
            }
        } else if (c == ']' || c == '}') {
            --depth;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            size_t end = i;
            while (end < text.size() && is_number_char(text[end])) ++end;
            const std::string_view run = text.substr(i, end - i);
            // A run that overflows is at least hundreds of characters long, so "0e" and zeros fit.
            if (run.size() >= 3 && is_json_number(run) && overflows_double(run)) {
                prepared.replace(i, run.size(), "0e" + std::string(run.size() - 2, '0'));
            }
            i = end - 1;
        }
    }
    return prepared;
}

// Builds the generic value from the parser's events; an object's repeated key is assigned again,
// so its last value stays.
class ValueBuilder final : public nlohmann::json_sax<json> {
public:
    json result;
    std::string error;

    bool null() override { return place(json(nullptr)); }
    bool boolean(bool value) override { return place(json(value)); }
    bool number_integer(number_integer_t value) override { return place(json(value)); }
    bool number_unsigned(number_unsigned_t value) override { return place(json(value)); }
    bool number_float(number_float_t value, const string_t&) override { return place(json(value)); }
    bool string(string_t& value) override { return place(json(std::move(value))); }
    bool binary(binary_t&) override {
        error = "binary data";  // never produced from JSON text
        return false;
    }
    bool start_object(std::size_t) override { return open(json::object()); }
    bool key(string_t& value) override {
        key_ = std::move(value);
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(json::array()); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override {
        error = e.what();
        // "[json.exception.parse_error.101] parse error at line 1, column 2: ..." without the tag.
        if (const auto tag_end = error.find("] "); !error.empty() && error[0] == '[' && tag_end != std::string::npos) {
            error.erase(0, tag_end + 2);
        }
        return false;
    }

private:
    json* insert(json value) {
        if (stack_.empty()) {
            result = std::move(value);
            return &result;
        }
        json& parent = *stack_.back();
        if (parent.is_array()) {
            parent.push_back(std::move(value));
            return &parent.back();
        }
        json& slot = parent[key_];
        slot = std::move(value);
        return &slot;
    }
    bool place(json value) {
        insert(std::move(value));
        return true;
    }
    bool open(json container) {
        stack_.push_back(insert(std::move(container)));
        return true;
    }
    bool close() {
        stack_.pop_back();
        return true;
    }

    std::vector<json*> stack_;  // the containers being filled; map nodes and the last array
                                // element don't move while their children are added
    std::string key_;
};

}  // namespace

Expected<json, std::string> parse_strict_json(std::string_view text) {
    auto prepared = prepare(text);
    if (!prepared) return unexpected(std::move(prepared.error()));
    ValueBuilder builder;
    const bool parsed = json::sax_parse(prepared->begin(), prepared->end(), &builder,
                                        json::input_format_t::json, /*strict=*/true,
                                        /*ignore_comments=*/false);
    if (!parsed) {
        return unexpected(builder.error.empty() ? std::string("not valid JSON") : builder.error);
    }
    return std::move(builder.result);
}

}  // namespace plinth
