// Which of the carried languages the pages speak.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "texts/languages_resource.h"

namespace plinth {

// The first language of the resource in the user's order: for each preferred tag, the carried
// tag equal to it, then the one equal to its language alone (pt-BR -> pt). English is always
// carried, so a preferred English (en, en-GB, ...) ends the search. Tags compare without regard
// to case. Nothing means English: the user's languages and the carried ones have none in common.
// `preferred` holds the tags separated by commas.
std::optional<CarriedLanguage> choose_language(std::string_view preferred, std::span<const std::uint8_t> resource);

// 2 when the carried tag is the preferred one, 1 when it is the preferred one's language alone
// (pt for pt-BR, not zh-Hant for zh-Hant-TW), 0 otherwise. Without regard to case. The preferred
// tag ends at the end or at a comma: it may be the first of a list. The views are passed by
// reference: the installer then hands over the ones it holds rather than copies.
int tag_match(const std::string_view& carried, const std::string_view& preferred);

// Whether the tag (or the first of a list) is English, of any region.
bool is_english(const std::string_view& tag);

// Whether the language is written right to left (Arabic, Hebrew, Persian, Urdu).
bool is_right_to_left(std::string_view tag);

}  // namespace plinth
