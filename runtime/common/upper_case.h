// Case as Windows ignores it when it compares file names and registry key names: each UTF-16 unit
// is mapped to its simple uppercase (the Unicode Character Database's, over the whole BMP), and
// two names are the same name when their mapped units are equal. Surrogates stay as they are.
#pragma once

#include <string>
#include <string_view>

namespace plinth {

char16_t upper_case(char16_t unit);
std::u16string upper_case(std::u16string_view units);

}  // namespace plinth
