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
    // Built in UTF-8 as it goes (no UTF-32 copy): leading white space never joins, and `end`
    // is where the text ends without its trailing white space.
    std::string name;
    std::size_t end = 0;
    for (std::size_t i = 0; i < display_name.size();) {
        const char32_t c = next_scalar(display_name, i);
        if (is_dropped(c) || (name.empty() && is_white_space(c))) continue;
        put_utf8(name, c);
        if (!is_white_space(c)) end = name.size();
    }
    name.resize(end);
    // Windows drops trailing full stops from file names itself; white space before them stays.
    while (!name.empty() && name.back() == '.') name.pop_back();
    if (name.empty()) return "App";
    return name;
}

}  // namespace plinth
