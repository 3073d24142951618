#include "texts/language_choice.h"

#include <algorithm>

namespace plinth {
namespace {

bool same_tag(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if ((a[i] | 0x20) != (b[i] | 0x20)) return false;  // tags are letters, digits and '-'
    }
    return true;
}

std::string_view language_of(std::string_view tag) { return tag.substr(0, tag.find('-')); }

}  // namespace

std::optional<CarriedLanguage> choose_language(std::string_view preferred, std::span<const std::uint8_t> resource) {
    while (!preferred.empty()) {
        const std::string_view tag = preferred.substr(0, preferred.find(','));
        preferred.remove_prefix(std::min(tag.size() + 1, preferred.size()));
        if (is_english(tag)) break;
        for (std::string_view wanted = tag;; wanted = language_of(tag)) {
            LanguagesReader reader(resource);
            CarriedLanguage language;
            while (reader.next(language)) {
                if (same_tag(language.tag, wanted)) return language;
            }
            if (wanted.size() == language_of(tag).size()) break;
        }
    }
    return std::nullopt;
}

bool is_english(std::string_view tag) { return same_tag(language_of(tag), "en"); }

bool is_right_to_left(std::string_view tag) {
    const std::string_view language = language_of(tag);
    // Arabic, Hebrew, Persian, Urdu: two letters each.
    constexpr std::string_view kRightToLeft = "arhefaur";
    for (std::size_t i = 0; i < kRightToLeft.size() && language.size() == 2; i += 2) {
        if (same_tag(language, kRightToLeft.substr(i, 2))) return true;
    }
    return false;
}

}  // namespace plinth
