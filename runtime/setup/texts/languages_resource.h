// The languages resource (RCDATA 3): the translated text tables an installer carries, each
// compressed on its own so that only the one shown is inflated.
//
// Layout, no padding: the 8 bytes "PLNLANGS", then for each language: its tag's length (1 byte,
// 1 to 35), the tag (ASCII letters, digits and '-', a letter first), the stream's length S
// (unsigned 32-bit, little-endian) and S bytes of zlib stream. The stream inflates to the
// language's table: each message's text, then a NUL, in the order of the messages (messages.h);
// an empty text stands for one the table doesn't have.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plinth {

inline constexpr std::array<std::uint8_t, 8> kLanguagesMagic = {'P', 'L', 'N', 'L', 'A', 'N', 'G', 'S'};
inline constexpr std::size_t kMaxLanguageTagLength = 35;
// A table inflates to far less; more is damage.
inline constexpr std::size_t kMaxTableSize = 1 << 20;

struct CarriedLanguage {
    std::string_view tag;                 // a view into the resource
    std::span<const std::uint8_t> table;  // its zlib stream, likewise
};

// The resource's languages, one after another. Reading stops at the end, or at the first entry
// that is damaged: those before it are still read, so a damaged resource shows fewer languages
// and never stops the installer.
class LanguagesReader {
public:
    explicit LanguagesReader(std::span<const std::uint8_t> resource);
    // The next language into `language`; false at the end or at damage.
    bool next(CarriedLanguage& language);

private:
    std::span<const std::uint8_t> rest_;
};

// Whether a tag can be carried: 1 to 35 ASCII letters, digits and hyphens, starting with a letter.
bool is_language_tag(std::string_view tag);

// The resource for tags and their zlib streams, as the packer writes it. Tags must be valid.
std::vector<std::uint8_t> build_languages_resource(
    std::span<const std::pair<std::string, std::vector<std::uint8_t>>> languages);

// A table's bytes for its texts in message order (an empty text: none), before compression.
std::vector<std::uint8_t> build_text_table(std::span<const std::string> texts);

}  // namespace plinth
