// Placeholders in message texts: {word}, a run of lower-case letters in braces. Any other brace
// is text. An English text uses each of its placeholders once; their values follow that order.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace plinth {

// The most placeholders a message has.
inline constexpr std::size_t kMaxPlaceholders = 3;
using PlaceholderValues = std::array<std::string_view, kMaxPlaceholders>;

// Where the first placeholder at or after `from` starts, and its length with the braces; a
// length of 0 when there is none.
struct PlaceholderSpan {
    std::size_t at = 0;
    std::size_t length = 0;
};
PlaceholderSpan next_placeholder(std::string_view text, std::size_t from);

// Whether the translation uses exactly the English text's placeholders (each at least once, no
// other). An empty translation has none to compare: false.
bool same_placeholders(std::string_view english, std::string_view translation);

// Appends the text to `filled` with each placeholder replaced by its value, `values` in the
// English text's order (a placeholder without a value is left out). The values are inserted as
// they are, never read for placeholders. Whether the text is one to show: not empty, with exactly
// the English text's placeholders (as same_placeholders says). By reference, as tag_match.
bool fill_placeholders(const std::string_view& text, const std::string_view& english,
                       const std::span<const std::string_view>& values, std::string& filled);

inline std::string fill_placeholders(std::string_view text, std::string_view english,
                                     std::span<const std::string_view> values) {
    std::string filled;
    fill_placeholders(text, english, values, filled);
    return filled;
}

}  // namespace plinth
