#include "locations/folder_name.h"

#include "common/text.h"

namespace plinth {
namespace {

bool is_dropped(char32_t c) {
    if (c <= 0x1F || (c >= 0x7F && c <= 0x9F)) return true;
    switch (c) {
        case U'<': case U'>': case U':': case U'"': case U'/':
        case U'\\': case U'|': case U'?': case U'*':
            return true;
        default:
            return false;
    }
}

// The Unicode White_Space property.
bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// Scalar values of the text; malformed UTF-8 has already become U+FFFD on the way to UTF-16.
std::u32string scalars(std::string_view utf8) {
    const std::u16string units = to_utf16(utf8);
    std::u32string out;
    out.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            out.push_back(0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(units[i + 1]) - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            out.push_back(0xFFFD);
        } else {
            out.push_back(unit);
        }
    }
    return out;
}

std::string utf8(std::u32string_view text) {
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace

std::string folder_name(std::string_view display_name) {
    std::u32string kept;
    for (char32_t c : scalars(display_name)) {
        if (!is_dropped(c)) kept.push_back(c);
    }
    std::u32string_view name = kept;
    while (!name.empty() && is_white_space(name.front())) name.remove_prefix(1);
    while (!name.empty() && is_white_space(name.back())) name.remove_suffix(1);
    // Windows drops trailing full stops from file names itself; white space before them stays.
    while (!name.empty() && name.back() == U'.') name.remove_suffix(1);
    if (name.empty()) return "App";
    return utf8(name);
}

}  // namespace plinth
