#include "package/link_rules.h"

#include "common/text.h"

namespace plinth {
namespace {

char lower_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool usable_app_user_model_id(std::string_view id) {
    std::size_t units = 0;
    for (char c : id) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f) return false;
        // A lead byte starts a character: two units from beyond the basic plane (four bytes).
        if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
    }
    return units != 0 && units <= kMaxAppUserModelIdLength;
}

bool usable_url_scheme(std::string_view scheme) {
    if (scheme.empty() || scheme.size() > kMaxUrlSchemeLength) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        const char c = lower_ascii(scheme[i]);
        const bool letter = c >= 'a' && c <= 'z';
        const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!letter && (i == 0 || !other)) return false;
    }
    return true;
}

std::string_view next_scheme(std::string_view& list) {
    const std::size_t bar = list.find('|');
    const std::string_view scheme = list.substr(0, bar);
    list.remove_prefix(bar == std::string_view::npos ? list.size() : bar + 1);
    return scheme;
}

bool lists_scheme(std::string_view list, std::string_view scheme) {
    while (!list.empty()) {
        if (equal_ascii_case_blind(next_scheme(list), scheme)) return true;
    }
    return false;
}

}  // namespace plinth
