#include "package/signer_name.h"

#include <algorithm>

#include "common/text.h"
#include "common/upper_case.h"

namespace plinth {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_separator(char c) { return c == ',' || c == ';' || c == '+'; }

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') return (c | 0x20) - 'a' + 10;
    return -1;
}

// Short names for the types Windows may print as numbers, and its own spellings of others.
std::string canonical_type(std::string type) {
    for (char& c : type) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (type.starts_with("OID.")) type.erase(0, 4);
    static constexpr std::pair<std::string_view, std::string_view> kAliases[] = {
        {"2.5.4.3", "CN"},  {"2.5.4.6", "C"},   {"2.5.4.7", "L"},   {"2.5.4.8", "ST"},       {"S", "ST"},
        {"2.5.4.10", "O"},  {"2.5.4.11", "OU"}, {"2.5.4.9", "STREET"}, {"2.5.4.5", "SERIALNUMBER"},
        {"1.2.840.113549.1.9.1", "E"}, {"EMAIL", "E"}, {"EMAILADDRESS", "E"}, {"0.9.2342.19200300.100.1.25", "DC"},
    };
    for (const auto& [from, to] : kAliases) {
        if (type == from) return std::string(to);
    }
    return type;
}

// The value as compared: runs of spaces made one, none at either end, case folded.
std::u16string canonical_value(const std::string& value) {
    std::string spaced;
    for (char c : value) {
        if (is_space(c)) {
            if (!spaced.empty() && spaced.back() != ' ') spaced += ' ';
        } else {
            spaced += c;
        }
    }
    if (!spaced.empty() && spaced.back() == ' ') spaced.pop_back();
    return upper_case(to_utf16(spaced));
}

class NameReader {
public:
    explicit NameReader(std::string_view text) : text_(text) {}

    std::optional<std::vector<NameAttribute>> read() {
        std::vector<NameAttribute> attributes;
        for (;;) {
            std::string type;
            std::string value;
            if (!read_type(type) || !read_value(value)) return std::nullopt;
            attributes.emplace_back(to_utf16(canonical_type(std::move(type))), canonical_value(value));
            skip_spaces();
            if (at_ == text_.size()) break;
            if (!is_separator(text_[at_])) return std::nullopt;
            ++at_;
        }
        std::sort(attributes.begin(), attributes.end());
        attributes.erase(std::unique(attributes.begin(), attributes.end()), attributes.end());
        return attributes;
    }

private:
    void skip_spaces() {
        while (at_ < text_.size() && is_space(text_[at_])) ++at_;
    }

    bool read_type(std::string& type) {
        skip_spaces();
        bool ended = false;  // by a space: only more spaces may follow before the '='
        while (at_ < text_.size() && text_[at_] != '=') {
            const char c = text_[at_++];
            if (is_space(c)) {
                ended = !type.empty();
                continue;
            }
            if (ended) return false;
            const bool letter = (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
            if (!letter && !(c >= '0' && c <= '9') && c != '.' && c != '-') return false;
            type += c;
        }
        if (at_ == text_.size() || type.empty()) return false;
        ++at_;  // '='
        return true;
    }

    // A backslash escape (RFC 4514): a special character, or two hex digits of a byte.
    bool read_escape(std::string& value) {
        if (++at_ == text_.size()) return false;
        if (at_ + 1 < text_.size() && hex_digit(text_[at_]) >= 0 && hex_digit(text_[at_ + 1]) >= 0) {
            value += static_cast<char>(hex_digit(text_[at_]) * 16 + hex_digit(text_[at_ + 1]));
            at_ += 2;
            return true;
        }
        value += text_[at_++];
        return true;
    }

    bool read_value(std::string& value) {
        skip_spaces();
        if (at_ < text_.size() && text_[at_] == '"') {
            // Windows' quoting: everything up to the closing quote, "" for a quote.
            for (++at_;; ) {
                if (at_ == text_.size()) return false;
                const char c = text_[at_];
                if (c == '"' && at_ + 1 < text_.size() && text_[at_ + 1] == '"') {
                    value += '"';
                    at_ += 2;
                } else if (c == '"') {
                    ++at_;
                    return true;
                } else if (c == '\\') {
                    if (!read_escape(value)) return false;
                } else {
                    value += c;
                    ++at_;
                }
            }
        }
        while (at_ < text_.size() && !is_separator(text_[at_])) {
            if (text_[at_] == '\\') {
                if (!read_escape(value)) return false;
            } else if (text_[at_] == '"') {
                return false;
            } else {
                value += text_[at_++];
            }
        }
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

std::optional<std::vector<NameAttribute>> parse_x500_name(std::string_view text) { return NameReader(text).read(); }

bool same_x500_name(std::string_view a, std::string_view b) {
    const auto first = parse_x500_name(a);
    const auto second = parse_x500_name(b);
    if (!first || !second) return a == b;
    return *first == *second;
}

bool accepted_signer(std::string_view signer, std::string_view own, const std::vector<std::string>& publishers) {
    if (same_x500_name(signer, own)) return true;
    return std::any_of(publishers.begin(), publishers.end(),
                       [&](const std::string& publisher) { return same_x500_name(signer, publisher); });
}

}  // namespace plinth
