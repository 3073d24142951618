#include "texts/languages_resource.h"

#include <cstring>

namespace plinth {

bool is_language_tag(std::string_view tag) {
    if (tag.empty() || tag.size() > kMaxLanguageTagLength) return false;
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!letter(tag[0])) return false;
    for (char c : tag) {
        if (!letter(c) && !(c >= '0' && c <= '9') && c != '-') return false;
    }
    return true;
}

LanguagesReader::LanguagesReader(std::span<const std::uint8_t> resource) {
    // Eight bytes compared as one number.
    std::uint64_t magic = 0;
    std::uint64_t expected = 0;
    std::memcpy(&expected, kLanguagesMagic.data(), sizeof expected);
    if (resource.size() >= sizeof magic) std::memcpy(&magic, resource.data(), sizeof magic);
    if (magic == expected) {
        rest_ = resource.subspan(kLanguagesMagic.size());
    }
}

bool LanguagesReader::next(CarriedLanguage& language) {
    if (rest_.empty()) return false;
    const std::size_t tag_length = rest_[0];
    if (rest_.size() < 1 + tag_length + 4) return false;
    const std::string_view tag(reinterpret_cast<const char*>(rest_.data() + 1), tag_length);
    const std::uint8_t* size = rest_.data() + 1 + tag_length;
    const std::size_t length = size[0] | size[1] << 8 | size[2] << 16 | static_cast<std::size_t>(size[3]) << 24;
    const std::size_t header = 1 + tag_length + 4;
    if (!is_language_tag(tag) || rest_.size() - header < length) {
        rest_ = {};
        return false;
    }
    language = {tag, rest_.subspan(header, length)};
    rest_ = rest_.subspan(header + length);
    return true;
}

}  // namespace plinth
