// A sentence of fixed words and values, as the update's failures and log lines are made: one
// literal for the words, each '%' in it standing for the next value. A list of parts would cost
// every caller an argument for each piece of the words as well.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "common/result.h"

namespace plinth {

// `pattern` with each '%' replaced by the next of `values` (a '%' beyond them stays).
std::string sentence(const char* pattern, std::initializer_list<std::string_view> values);

// The failure of that sentence.
Status fail_with(const char* pattern, std::initializer_list<std::string_view> values);

}  // namespace plinth
