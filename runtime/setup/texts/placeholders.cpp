#include "texts/placeholders.h"

#include <algorithm>

namespace plinth {

PlaceholderSpan next_placeholder(std::string_view text, std::size_t from) {
    for (std::size_t at = text.find('{', from); at != std::string_view::npos; at = text.find('{', at + 1)) {
        std::size_t end = at + 1;
        while (end < text.size() && text[end] >= 'a' && text[end] <= 'z') ++end;
        if (end > at + 1 && end < text.size() && text[end] == '}') return {at, end + 1 - at};
    }
    return {};
}

bool same_placeholders(std::string_view english, std::string_view translation) {
    std::string unused;
    return fill_placeholders(translation, english, {}, unused);
}

bool fill_placeholders(const std::string_view& text, const std::string_view& english,
                       const std::span<const std::string_view>& values, std::string& filled) {
    // Every brace of an English text opens a placeholder (messages.h): a placeholder's number is
    // the count of braces before it there, and their count for one the English text hasn't.
    const auto braces_before = [&](std::size_t end) {
        return static_cast<std::size_t>(std::count(english.begin(), english.begin() + std::min(end, english.size()), '{'));
    };
    const auto bit = [](std::size_t index) { return std::uint64_t{1} << std::min<std::size_t>(index, 63); };
    std::uint64_t used = 0;
    for (std::size_t from = 0;;) {
        const PlaceholderSpan p = next_placeholder(text, from);
        filled.append(text.data() + from, (p.length != 0 ? p.at : text.size()) - from);
        if (p.length == 0) break;
        const std::size_t index = braces_before(english.find(std::string_view(text.data() + p.at, p.length)));
        if (index < values.size()) filled += values[index];
        used |= bit(index);
        from = p.at + p.length;
    }
    return !text.empty() && used + 1 == bit(braces_before(english.size()));
}

}  // namespace plinth
