#include "texts/text_lookup.h"

#include <utility>

#include "common/text.h"
#include "texts/language_choice.h"
#include "texts/placeholders.h"

namespace plinth {

TextLookup::TextLookup(std::string_view tag, InflatedBytes table)
    : table_(std::move(table)), right_to_left_(is_right_to_left(tag)) {
    std::string_view rest(reinterpret_cast<const char*>(table_.data()), table_.size());
    std::size_t count = 0;
    for (; count < kMessageCount; ++count) {
        const std::size_t end = rest.find('\0');
        if (end == std::string_view::npos) break;
        const std::string_view text(rest.data(), end);
        rest.remove_prefix(end + 1);
        // Its placeholders are checked as it is filled in.
        if (is_valid_utf8(text)) texts_[count] = text;
    }
    // A table of more or fewer texts is damaged, or made for other messages: from the first text
    // missing or too many, each would stand at another message's place. All English, then.
    if (count != kMessageCount || !rest.empty()) {
        texts_ = {};
        table_ = {};
        right_to_left_ = false;
    }
}

std::string TextLookup::text(Message message, std::initializer_list<std::string_view> values) const {
    const std::string_view english = english_text(message);
    const std::span<const std::string_view> given(values.begin(), values.size());
    std::string filled;
    if (!fill_placeholders(texts_[static_cast<std::size_t>(message)], english, given, filled)) {
        filled.clear();
        fill_placeholders(english, english, given, filled);
    }
    return filled;
}

bool TextLookup::has_text(Message message) const {
    return same_placeholders(english_text(message), texts_[static_cast<std::size_t>(message)]);
}

// Not inlined into its one caller: the language code's bytes then show on their own in the stub's
// map (bench/stub_objects.py). One TextLookup built on every path (an empty table is English):
// each `return {}` would build one of its own.
[[gnu::noinline]] TextLookup load_text_lookup(platform::Platform& platform) {
    const std::string preferred = platform.session.preferred_ui_languages();
    std::string_view tag;  // a view into the resource, which stays loaded
    InflatedBytes table;
    [&] {
        // English first: the stub's own texts, without a look at the resource.
        if (preferred.empty() || is_english(preferred)) return;
        const auto module = platform.module.own_handle();
        if (!module) return;
        const platform::PackageResource resource = platform.module.languages_resource(*module);
        if (resource.state != platform::PackageResource::State::found) return;
        const auto chosen = choose_language(preferred, resource.bytes);
        if (!chosen) return;
        auto inflated = inflate_zlib(chosen->table, kMaxTableSize);
        if (!inflated) return;
        tag = chosen->tag;
        table = std::move(*inflated);
    }();
    return TextLookup(tag, std::move(table));
}

}  // namespace plinth
