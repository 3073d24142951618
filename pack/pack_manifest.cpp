#include "pack_manifest.h"

#include "common/text.h"
#include "package/manifest.h"

namespace plinth::pack {
namespace {

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0d) || c == 0x20 || c == 0x85 || c == 0xa0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200a) || c == 0x2028 || c == 0x2029 || c == 0x202f || c == 0x205f ||
           c == 0x3000;
}

bool empty_after_trimming(std::string_view text) {
    const std::u16string wide = to_utf16(text);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = wide[i];
        if (c >= 0xd800 && c < 0xdc00 && i + 1 < wide.size()) {
            c = 0x10000 + ((c - 0xd800) << 10) + (wide[i + 1] - 0xdc00);
            ++i;
        }
        if (!is_white_space(c)) return false;
    }
    return true;
}

// A text that names a registry key (the uninstall key, a ProgID, an extension's key): a backslash
// would split it into nested keys, and a NUL would cut it short.
std::optional<std::string> key_name_problem(std::string_view text) {
    if (text.find('\\') != std::string_view::npos) {
        return "has a backslash, which would split its registry key into nested keys";
    }
    if (text.find('\0') != std::string_view::npos) return "has the character U+0000, which would cut its registry key short";
    return std::nullopt;
}

}  // namespace

Expected<AppManifest, std::string> check_manifest_for_packing(std::string_view json) {
    auto manifest = check_app_manifest(json);
    if (!manifest) return manifest;
    if (empty_after_trimming(manifest->id)) {
        return unexpected(std::string("The manifest's \"id\" is only white space; it must be a non-empty text."));
    }
    if (auto problem = key_name_problem(manifest->id)) return unexpected("The manifest's \"id\" " + *problem + ".");
    for (std::size_t i = 0; i < manifest->documents.size(); ++i) {
        for (const std::string& extension : manifest->documents[i].extensions) {
            if (auto problem = key_name_problem(extension)) {
                return unexpected("The manifest's document type " + std::to_string(i + 1) + " has an extension that " +
                                  *problem + ".");
            }
        }
    }
    return manifest;
}

}  // namespace plinth::pack
