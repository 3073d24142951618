#include "texts/text_lookup.h"

#include <utility>

#include "common/text.h"
#include "package/payload.h"
#include "texts/language_choice.h"
#include "texts/placeholders.h"

namespace plinth {

TextLookup::TextLookup(std::string_view tag, std::span<const std::uint8_t> table)
    : table_(table.begin(), table.end()), right_to_left_(is_right_to_left(tag)) {
    std::string_view rest(reinterpret_cast<const char*>(table_.data()), table_.size());
    for (std::size_t i = 0; i < kMessageCount; ++i) {
        const std::size_t end = rest.find('\0');
        if (end == std::string_view::npos) break;
        const std::string_view text = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        if (is_valid_utf8(text) && same_placeholders(english_text(static_cast<Message>(i)), text)) texts_[i] = text;
    }
}

std::string TextLookup::text(Message message, std::initializer_list<std::string_view> values) const {
    const std::string_view own = texts_[static_cast<std::size_t>(message)];
    const std::string_view english = english_text(message);
    return fill_placeholders(own.empty() ? english : own, english,
                             std::span(values.begin(), values.size()));
}

// Not inlined into its one caller: the language code's bytes then show on their own in the stub's
// map (bench/stub_objects.py). One TextLookup built on every path (an empty table is English):
// each `return {}` would build one of its own.
[[gnu::noinline]] TextLookup load_text_lookup(platform::Platform& platform) {
    const std::string preferred_text = platform.session.preferred_ui_languages();
    const std::string_view preferred = preferred_text;
    std::string_view tag;  // a view into the resource, which stays loaded
    InflatedBytes table;
    [&] {
        // English first: the stub's own texts, without a look at the resource.
        if (preferred.empty() || is_english(preferred.substr(0, preferred.find(',')))) return;
        const auto module = platform.module.own_handle();
        if (!module) return;
        const platform::PackageResource resource = platform.module.languages_resource(*module);
        if (resource.state != platform::PackageResource::State::found) return;
        const auto chosen = choose_language(preferred, resource.bytes);
        if (!chosen) return;
        auto inflated = inflate_payload(chosen->table, kMaxTableSize);
        if (!inflated) return;
        tag = chosen->tag;
        table = std::move(*inflated);
    }();
    return TextLookup(tag, table);
}

}  // namespace plinth
