// The packer's side of the languages resource, in a file of its own so that the installer, which
// only reads the resource, doesn't carry it.
#include "texts/languages_resource.h"

namespace plinth {

std::vector<std::uint8_t> build_languages_resource(
    std::span<const std::pair<std::string, std::vector<std::uint8_t>>> languages) {
    std::vector<std::uint8_t> out(kLanguagesMagic.begin(), kLanguagesMagic.end());
    for (const auto& [tag, stream] : languages) {
        out.push_back(static_cast<std::uint8_t>(tag.size()));
        out.insert(out.end(), tag.begin(), tag.end());
        const auto size = static_cast<std::uint32_t>(stream.size());
        for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(size >> shift));
        out.insert(out.end(), stream.begin(), stream.end());
    }
    return out;
}

std::vector<std::uint8_t> build_text_table(std::span<const std::string> texts) {
    std::vector<std::uint8_t> out;
    for (const std::string& text : texts) {
        out.insert(out.end(), text.begin(), text.end());
        out.push_back(0);
    }
    return out;
}

}  // namespace plinth
