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

}  // namespace

std::string folder_name(std::string_view display_name) {
    std::u32string kept;
    for (char32_t c : to_utf32(display_name)) {
        if (!is_dropped(c)) kept.push_back(c);
    }
    std::u32string_view name = kept;
    while (!name.empty() && is_white_space(name.front())) name.remove_prefix(1);
    while (!name.empty() && is_white_space(name.back())) name.remove_suffix(1);
    // Windows drops trailing full stops from file names itself; white space before them stays.
    while (!name.empty() && name.back() == U'.') name.remove_suffix(1);
    if (name.empty()) return "App";
    return to_utf8(name);
}

}  // namespace plinth
