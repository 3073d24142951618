#include "license_text.h"

#include <string_view>

#include "common/text.h"
#include "dialog/license_page.h"

namespace plinth::pack {

Expected<std::string, std::string> license_text(ByteView file) {
    std::string_view bytes(reinterpret_cast<const char*>(file.data()), file.size());
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' || i + 1 >= bytes.size() || bytes[i + 1] != '\n') text.push_back(bytes[i]);
    }
    if (text.empty()) return unexpected(std::string("it is empty; write the licence's text in it, or leave \"license\" out of the manifest."));
    if (text.size() > kMaxLicenseSize) {
        return unexpected("it is " + decimal_text(text.size()) +
                          " bytes; a licence may be at most 65536 bytes (64 KiB). Shorten it, or link to the full text from a shorter one.");
    }
    if (!is_valid_utf8(text)) {
        return unexpected(std::string("it isn't UTF-8; save it as UTF-8 (in Notepad: Save as, Encoding UTF-8)."));
    }
    std::size_t line = 1;
    std::size_t column = 0;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t scalar = next_scalar(text, i);
        ++column;
        if (scalar == U'\n') {
            ++line;
            column = 0;
        } else if (scalar != U'\t' && (scalar < 0x20 || (scalar >= 0x7F && scalar <= 0x9F))) {
            static const char digits[] = "0123456789ABCDEF";
            const std::string code = std::string("U+00") + digits[scalar >> 4] + digits[scalar & 15];
            return unexpected("line " + decimal_text(line) + ", column " + decimal_text(column) + " has the control character " + code +
                              (scalar == U'\r' ? " (a carriage return without a line feed)" : "") +
                              "; a licence may hold tabs and line breaks, but no other control character. Remove it.");
        }
    }
    return text;
}

}  // namespace plinth::pack
