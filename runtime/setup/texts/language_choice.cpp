#include "texts/language_choice.h"

#include <algorithm>

namespace plinth {

int tag_match(std::string_view carried, std::string_view preferred) {
    bool region = false;
    std::size_t i = 0;
    for (; i < carried.size(); ++i) {
        // Tags are letters, digits and '-': setting the bit of case makes them compare alike.
        if (i == preferred.size() || (carried[i] | 0x20) != (preferred[i] | 0x20)) return 0;
        region |= carried[i] == '-';
    }
    if (i == preferred.size() || preferred[i] == ',') return 2;
    return !region && preferred[i] == '-' ? 1 : 0;
}

bool is_english(std::string_view tag) { return tag_match(std::string_view("en", 2), tag) != 0; }

std::optional<CarriedLanguage> choose_language(std::string_view preferred, std::span<const std::uint8_t> resource) {
    // `preferred` starts with the tag at hand: tag_match reads up to its comma.
    for (; !preferred.empty(); preferred.remove_prefix(std::min(preferred.find(','), preferred.size() - 1) + 1)) {
        if (is_english(preferred)) break;
        for (int wanted = 2; wanted != 0; --wanted) {
            LanguagesReader reader(resource);
            for (CarriedLanguage language; reader.next(language);) {
                if (tag_match(language.tag, preferred) == wanted) return language;
            }
        }
    }
    return std::nullopt;
}

bool is_right_to_left(std::string_view tag) {
    // Arabic, Hebrew, Persian, Urdu: two letters, alone or before a region.
    if (tag.size() < 2 || (tag.size() > 2 && tag[2] != '-')) return false;
    const unsigned language = (static_cast<unsigned char>(tag[0]) | static_cast<unsigned char>(tag[1]) << 8) | 0x2020;
    for (const unsigned rtl : {'a' | 'r' << 8, 'h' | 'e' << 8, 'f' | 'a' << 8, 'u' | 'r' << 8}) {
        if (language == rtl) return true;
    }
    return false;
}

}  // namespace plinth
