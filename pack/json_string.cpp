#include "json_string.h"

#include "common/text.h"

namespace plinth::pack {

std::string json_string(std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    std::string quoted = "\"";
    for (char32_t c : to_utf32(text)) {
        switch (c) {
            case '"': quoted += "\\\""; break;
            case '\\': quoted += "\\\\"; break;
            case '\b': quoted += "\\b"; break;
            case '\f': quoted += "\\f"; break;
            case '\n': quoted += "\\n"; break;
            case '\r': quoted += "\\r"; break;
            case '\t': quoted += "\\t"; break;
            default:
                if (c < 0x20) {
                    quoted += "\\u00";
                    quoted += hex[c >> 4];
                    quoted += hex[c & 15];
                } else {
                    quoted += to_utf8(std::u32string_view(&c, 1));
                }
        }
    }
    return quoted + "\"";
}

}  // namespace plinth::pack
