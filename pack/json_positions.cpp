#include "json_positions.h"

#include "package/strict_json.h"

namespace plinth::pack {
namespace {

// Deep enough for any text the strict reader accepts; it also bounds the recursion here.
constexpr int kMaxDepth = 200;

class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    JsonPlaces run() {
        skip_space();
        value({}, position_);
        return std::move(result_);
    }

private:
    bool at_end() const { return i_ >= text_.size(); }
    char peek() const { return at_end() ? '\0' : text_[i_]; }

    void advance() {
        const unsigned char c = static_cast<unsigned char>(text_[i_++]);
        if (c == '\n') {
            ++position_.line;
            position_.column = 1;
        } else if ((c & 0xC0) != 0x80) {
            // A character's lead byte moves the column; its continuation bytes don't.
            ++position_.column;
        }
    }

    void skip_space() {
        while (!at_end() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) advance();
    }

    bool expect(char c) {
        skip_space();
        if (peek() != c) return false;
        advance();
        return true;
    }

    // The string token starting at the opening quote, escapes left as written.
    bool string_token() {
        advance();  // "
        while (!at_end()) {
            const char c = peek();
            advance();
            if (c == '\\') {
                if (at_end()) return false;
                advance();
            } else if (c == '"') {
                return true;
            }
        }
        return false;
    }

    bool value(const JsonPath& path, TextPosition key) {
        if (++depth_ > kMaxDepth) return false;
        const std::size_t start = i_;
        const TextPosition at = position_;
        bool ok = false;
        switch (peek()) {
            case '{': ok = object(path); break;
            case '[': ok = array(path); break;
            case '"': ok = string_token(); break;
            default:
                while (!at_end() && std::string_view(",]} \t\n\r").find(peek()) == std::string_view::npos) advance();
                ok = i_ > start;
                break;
        }
        --depth_;
        if (!ok) return false;
        result_.places[path] = JsonPlace{at, path.empty() ? at : key, std::string(text_.substr(start, i_ - start))};
        return true;
    }

    bool object(const JsonPath& path) {
        advance();  // {
        skip_space();
        if (peek() == '}') {
            advance();
            return true;
        }
        std::map<std::string, TextPosition> seen;
        while (true) {
            skip_space();
            if (peek() != '"') return false;
            const std::size_t start = i_;
            const TextPosition key_at = position_;
            if (!string_token()) return false;
            // The name decoded by the same reader that decides what the manifest is.
            const auto decoded = parse_strict_json(text_.substr(start, i_ - start));
            if (!decoded.ok() || !decoded->is_string()) return false;
            const std::string& name = decoded->text;
            JsonPath member = path;
            member.push_back(name);
            if (const auto earlier = seen.find(name); earlier != seen.end()) {
                result_.repeated.push_back({member, earlier->second, key_at});
            } else {
                seen.emplace(name, key_at);
            }
            if (!expect(':')) return false;
            skip_space();
            if (!value(member, key_at)) return false;
            skip_space();
            if (peek() == ',') {
                advance();
                continue;
            }
            return expect('}');
        }
    }

    bool array(const JsonPath& path) {
        advance();  // [
        skip_space();
        if (peek() == ']') {
            advance();
            return true;
        }
        for (std::size_t index = 0;; ++index) {
            skip_space();
            JsonPath element = path;
            element.push_back(std::to_string(index));
            if (!value(element, position_)) return false;
            skip_space();
            if (peek() == ',') {
                advance();
                continue;
            }
            return expect(']');
        }
    }

    std::string_view text_;
    std::size_t i_ = 0;
    TextPosition position_;
    int depth_ = 0;
    JsonPlaces result_;
};

}  // namespace

const JsonPlace* JsonPlaces::find(const JsonPath& path) const {
    const auto found = places.find(path);
    return found == places.end() ? nullptr : &found->second;
}

JsonPlaces locate_json_values(std::string_view text) { return Scanner(text).run(); }

}  // namespace plinth::pack
