#include "texts/placeholders.h"

namespace plinth {
namespace {

// Every placeholder of `a` is in `b`.
bool all_found_in(std::string_view a, std::string_view b) {
    for (PlaceholderSpan p = next_placeholder(a, 0); p.length != 0; p = next_placeholder(a, p.at + p.length)) {
        if (b.find(a.substr(p.at, p.length)) == std::string_view::npos) return false;
    }
    return true;
}

// The placeholder's number in the English text's order, or its count when it has no such one.
std::size_t placeholder_index(std::string_view english, std::string_view placeholder) {
    const std::size_t at = english.find(placeholder);
    std::size_t index = 0;
    for (PlaceholderSpan p = next_placeholder(english, 0); p.length != 0 && p.at < at;
         p = next_placeholder(english, p.at + p.length)) {
        ++index;
    }
    return index;
}

}  // namespace

PlaceholderSpan next_placeholder(std::string_view text, std::size_t from) {
    for (std::size_t at = text.find('{', from); at != std::string_view::npos; at = text.find('{', at + 1)) {
        std::size_t end = at + 1;
        while (end < text.size() && text[end] >= 'a' && text[end] <= 'z') ++end;
        if (end > at + 1 && end < text.size() && text[end] == '}') return {at, end + 1 - at};
    }
    return {};
}

bool same_placeholders(std::string_view english, std::string_view translation) {
    return all_found_in(english, translation) && all_found_in(translation, english);
}

std::string fill_placeholders(std::string_view text, std::string_view english,
                              std::span<const std::string_view> values) {
    std::string filled;
    std::size_t from = 0;
    for (PlaceholderSpan p = next_placeholder(text, 0); p.length != 0; p = next_placeholder(text, p.at + p.length)) {
        filled += text.substr(from, p.at - from);
        const std::size_t index = placeholder_index(english, text.substr(p.at, p.length));
        if (index < values.size()) filled += values[index];
        from = p.at + p.length;
    }
    filled += text.substr(from);
    return filled;
}

}  // namespace plinth
