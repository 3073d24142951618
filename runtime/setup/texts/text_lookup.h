// The one place every page and failure page asks for its texts: the chosen language's text for a
// message, or the English one where the language has none, placeholders filled in. No page knows
// which language it speaks.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "compression/zlib_inflate.h"
#include "platform/platform.h"
#include "texts/messages.h"

namespace plinth {

class TextLookup {
public:
    // English.
    TextLookup() = default;
    // A language's inflated table (languages_resource.h), kept. A text that is empty or not UTF-8
    // is left to English, as is one whose placeholders differ from the English text's; a table of
    // more or fewer texts than there are messages is English throughout.
    TextLookup(std::string_view tag, InflatedBytes table);
    TextLookup(std::string_view tag, std::span<const std::uint8_t> table)
        : TextLookup(tag, InflatedBytes(table.begin(), table.end())) {}
    // The texts are views into the table: moving keeps them, copying would not.
    TextLookup(TextLookup&&) = default;
    TextLookup& operator=(TextLookup&&) = default;
    TextLookup(const TextLookup&) = delete;
    TextLookup& operator=(const TextLookup&) = delete;

    // The message with its placeholders filled in, `values` in the order the English text uses
    // them. Never empty (unless a value is), never with a placeholder left.
    std::string text(Message message, std::initializer_list<std::string_view> values = {}) const;

    // Whether the language has its own text for the message.
    bool has_text(Message message) const;
    bool right_to_left() const { return right_to_left_; }

private:
    InflatedBytes table_;
    std::array<std::string_view, kMessageCount> texts_{};
    bool right_to_left_ = false;
};

// The texts for the user's display language, from the installer's languages resource. English
// when the user prefers English (the resource isn't read then), when no carried language is among
// the user's, or when the resource can't be read or the chosen table inflated.
TextLookup load_text_lookup(platform::Platform& platform);

}  // namespace plinth
