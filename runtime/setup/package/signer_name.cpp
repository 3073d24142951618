#include "package/signer_name.h"

#include <optional>

#include "common/text.h"
#include "common/upper_case.h"

namespace plinth {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_separator(char c) { return c == ',' || c == ';' || c == '+'; }
bool is_type_character(char c) {
    return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

// Short names for the types Windows may print as numbers, and its own spellings of others; in any
// case, as the whole attribute is upper-cased once it is read.
std::string_view canonical_type(std::string_view type) {
    if (equal_ascii_case_blind(type.substr(0, 4), "OID.")) type.remove_prefix(4);
    static constexpr std::string_view kAliases[][2] = {
        {"2.5.4.3", "CN"},  {"2.5.4.6", "C"},   {"2.5.4.7", "L"},   {"2.5.4.8", "ST"},       {"S", "ST"},
        {"2.5.4.10", "O"},  {"2.5.4.11", "OU"}, {"2.5.4.9", "STREET"}, {"2.5.4.5", "SERIALNUMBER"},
        {"1.2.840.113549.1.9.1", "E"}, {"EMAIL", "E"}, {"EMAILADDRESS", "E"},
    };
    for (const auto& alias : kAliases) {
        if (equal_ascii_case_blind(type, alias[0])) return alias[1];
    }
    return type;
}

// One attribute from `at` on, as "TYPE=VALUE" (see parse_x500_name); `at` is left after it.
std::optional<std::u16string> read_attribute(std::string_view text, std::size_t& at) {
    const auto skip_spaces = [&] {
        while (at < text.size() && is_space(text[at])) ++at;
    };
    skip_spaces();
    const std::size_t type_start = at;
    while (at < text.size() && is_type_character(text[at])) ++at;
    const std::string_view type = text.substr(type_start, at - type_start);
    skip_spaces();
    if (type.empty() || at == text.size() || text[at] != '=') return std::nullopt;
    std::string attribute(canonical_type(type));
    attribute += '=';
    const std::size_t value_start = attribute.size();
    ++at;
    skip_spaces();
    // Windows quotes a value with a separator in it, a quote doubled inside; a backslash takes
    // the next character as it is.
    bool quoted = at < text.size() && text[at] == '"';
    at += quoted;
    bool space = false;
    for (; at < text.size(); ++at) {
        char c = text[at];
        if (c == '"') {
            if (!quoted) return std::nullopt;
            if (at + 1 == text.size() || text[at + 1] != '"') {
                quoted = false;
                ++at;
                break;
            }
            ++at;
        } else if (!quoted && is_separator(c)) {
            break;
        } else if (c == '\\') {
            if (++at == text.size()) return std::nullopt;
            c = text[at];
        }
        if (is_space(c)) {
            space = true;
            continue;
        }
        if (space && attribute.size() > value_start) attribute += ' ';
        space = false;
        attribute += c;
    }
    if (quoted) return std::nullopt;
    skip_spaces();
    return upper_case(to_utf16(attribute));
}

}  // namespace

std::optional<std::vector<std::u16string>> parse_x500_name(std::string_view text) {
    std::vector<std::u16string> attributes;
    for (std::size_t at = 0;; ++at) {
        auto attribute = read_attribute(text, at);
        if (!attribute) return std::nullopt;
        attributes.push_back(std::move(*attribute));
        if (at == text.size()) return attributes;
        if (!is_separator(text[at])) return std::nullopt;
    }
}

namespace {

// Whether each attribute of `some` is one of `all`'s: a name has a few, so each is looked for.
bool all_within(const std::vector<std::u16string>& some, const std::vector<std::u16string>& all) {
    for (const std::u16string& one : some) {
        bool found = false;
        for (const std::u16string& other : all) found = found || other == one;
        if (!found) return false;
    }
    return true;
}

}  // namespace

bool same_x500_name(std::string_view a, std::string_view b) {
    const auto first = parse_x500_name(a);
    const auto second = parse_x500_name(b);
    if (!first || !second) return a == b;
    // As sets.
    return all_within(*first, *second) && all_within(*second, *first);
}

bool accepted_signer(std::string_view signer, std::string_view own, const std::vector<std::string>& publishers) {
    if (same_x500_name(signer, own)) return true;
    for (const std::string& publisher : publishers) {
        if (same_x500_name(signer, publisher)) return true;
    }
    return false;
}

}  // namespace plinth
