#include "texts/language_choice.h"

#include <algorithm>
#include <cstdint>

namespace plinth {

int tag_match(const std::string_view& carried, const std::string_view& preferred) {
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

bool is_english(const std::string_view& tag) {
    static constexpr std::string_view kEnglish = "en";
    return tag_match(kEnglish, tag) != 0;
}

std::optional<CarriedLanguage> choose_language(std::string_view preferred, std::span<const std::uint8_t> resource) {
    // One pass over the carried languages, each ranked by the first of the user's tags it
    // matches: the user's i-th tag ranks 2i exactly, 2i + 1 as its language alone. The user's
    // tags after an English one are not looked at: English is always carried.
    std::optional<CarriedLanguage> chosen;
    std::size_t chosen_rank = SIZE_MAX;
    LanguagesReader reader(resource);
    for (CarriedLanguage language; reader.next(language);) {
        std::size_t rank = 0;
        // `rest` starts with the tag at hand: tag_match reads up to its comma.
        for (std::string_view rest = preferred; !rest.empty() && !is_english(rest);
             rest.remove_prefix(std::min(rest.find(','), rest.size() - 1) + 1), rank += 2) {
            const int match = tag_match(language.tag, rest);
            if (match == 0) continue;
            rank += 2 - match;
            if (rank < chosen_rank) {
                chosen = language;
                chosen_rank = rank;
            }
            break;
        }
    }
    return chosen;
}

bool is_right_to_left(std::string_view tag) {
    // Arabic, Hebrew, Persian, Urdu: two letters, alone or before a region.
    if (tag.size() < 2 || (tag.size() > 2 && tag[2] != '-')) return false;
    const unsigned language = (static_cast<unsigned char>(tag[0]) | static_cast<unsigned char>(tag[1]) << 8) | 0x2020;
    return language == ('a' | 'r' << 8) || language == ('h' | 'e' << 8) || language == ('f' | 'a' << 8) ||
           language == ('u' | 'r' << 8);
}

}  // namespace plinth
