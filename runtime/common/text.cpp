#include "common/text.h"

#include <cstring>

namespace plinth {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_separator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) return out.push_back(static_cast<char>(cp));
    // The continuation bytes from the last one back, then the lead byte with the rest of the bits:
    // 110xxxxx, 1110xxxx or 11110xxx.
    const std::size_t length = cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    char bytes[4];
    for (std::size_t k = length - 1; k > 0; --k) {
        bytes[k] = static_cast<char>(0x80 | (cp & 0x3F));
        cp >>= 6;
    }
    bytes[0] = static_cast<char>((0xFF00 >> length) | cp);
    out.append(bytes, length);
}

// Decodes one scalar value at `i`, advancing it; nothing when the sequence is malformed (then
// `i` has moved past the first byte only).
std::optional<char32_t> decode_utf8(std::string_view s, size_t& i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        ++i;
        return std::nullopt;
    }
    if (s.size() - i < length) {
        ++i;
        return std::nullopt;
    }
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return std::nullopt;
        }
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return std::nullopt;
    }
    i += length;
    return cp;
}

}  // namespace

std::u16string to_utf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const char32_t cp = decode_utf8(utf8, i).value_or(kReplacement);
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

char32_t next_scalar(std::string_view utf8, std::size_t& i) { return decode_utf8(utf8, i).value_or(kReplacement); }

void put_utf8(std::string& out, char32_t scalar) { append_utf8(out, scalar); }

std::u32string to_utf32(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) out.push_back(decode_utf8(utf8, i).value_or(kReplacement));
    return out;
}

std::string to_utf8(std::u32string_view scalars) {
    std::string out;
    out.reserve(scalars.size());
    for (char32_t cp : scalars) append_utf8(out, cp);
    return out;
}

namespace {

std::optional<std::string> convert_utf16(std::u16string_view utf16, bool lossy) {
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        const char16_t unit = utf16[i];
        char32_t cp = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            if (!lossy) return std::nullopt;
            cp = kReplacement;
        }
        append_utf8(out, cp);
    }
    return out;
}

}  // namespace

std::string to_utf8(std::u16string_view utf16) { return *convert_utf16(utf16, true); }

std::optional<std::string> to_utf8_strict(std::u16string_view utf16) {
    return convert_utf16(utf16, false);
}

bool is_valid_utf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        if (!decode_utf8(bytes, i)) return false;
    }
    return true;
}

std::string concat(std::initializer_list<std::string_view> parts) {
    std::size_t size = 0;
    for (std::string_view part : parts) size += part.size();
    std::string text;
    text.reserve(size);
    for (std::string_view part : parts) text.append(part);
    return text;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c |= 0x20;  // a letter in lower case
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string decimal_text(std::uint64_t number) {
    char digits[20];
    std::size_t count = 0;
    do {
        digits[sizeof digits - ++count] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    return std::string(digits + sizeof digits - count, count);
}

std::string visible_controls(std::string_view text) {
    static const char digits[] = "0123456789ABCDEF";
    static constexpr char kNamed[] = {'\0', '\t', '\n', '\r'};
    std::string visible;
    visible.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20) {
            visible.push_back(c);
            continue;
        }
        // \0, \t, \n and \r by their letters, every other one as \xHH.
        char escape[4] = {'\\', 'x', digits[byte >> 4], digits[byte & 15]};
        std::size_t length = 4;
        if (const void* named = std::memchr(kNamed, c, sizeof kNamed)) {
            escape[1] = "0tnr"[static_cast<const char*>(named) - kNamed];
            length = 2;
        }
        visible.append(escape, length);
    }
    return visible;
}

Path join_path(std::u16string_view base, std::u16string_view component) {
    Path joined(base);
    if (!base.empty() && !is_separator(base.back())) joined.push_back(u'\\');
    joined.append(component);
    return joined;
}

std::optional<Path> parent_folder(std::u16string_view path) {
    const size_t last = path.find_last_of(u"\\/");
    if (last == std::u16string_view::npos) return std::nullopt;
    // A root keeps its separator: C: alone would mean the current folder on drive C.
    const bool root = last == 0 || (last == 2 && path[1] == u':');
    return Path(path.substr(0, root ? last + 1 : last));
}

Path final_component(std::u16string_view path) {
    const size_t last = path.find_last_of(u"\\/");
    return Path(last == std::u16string_view::npos ? path : path.substr(last + 1));
}

bool equal_ascii_case_blind(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if ((a[i] ^ b[i]) == 0) continue;
        // Only a letter and its other case differ in exactly the 0x20 bit.
        const char lower = static_cast<char>(a[i] | 0x20);
        if ((a[i] ^ b[i]) != 0x20 || lower < 'a' || lower > 'z') return false;
    }
    return true;
}

std::u16string ascii_lower(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& unit : out) {
        if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
    }
    return out;
}

}  // namespace plinth
