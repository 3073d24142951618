#include "pack_manifest.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "common/text.h"
#include "package/manifest.h"

namespace plinth::pack {
namespace {

// The nine characters Windows refuses in a file name, besides control characters.
constexpr std::string_view kForbidden = "<>:\"/\\|?*";

// Device names that Windows maps to devices whatever the extension.
constexpr std::array<std::string_view, 22> kDeviceNames = {
    "con",  "prn",  "aux",  "nul",  "com1", "com2", "com3", "com4", "com5", "com6", "com7",
    "com8", "com9", "lpt1", "lpt2", "lpt3", "lpt4", "lpt5", "lpt6", "lpt7", "lpt8", "lpt9"};

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0d) || c == 0x20 || c == 0x85 || c == 0xa0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200a) || c == 0x2028 || c == 0x2029 || c == 0x202f || c == 0x205f ||
           c == 0x3000;
}

std::string describe_byte(unsigned char c) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "U+00";
    text.push_back(digits[c >> 4]);
    text.push_back(digits[c & 15]);
    return text;
}

std::optional<std::string> exe_problem(std::string_view exe) {
    for (unsigned char c : exe) {
        if (c == '/' || c == '\\') {
            return "The manifest's \"exe\" must be a file name, not a path: \"" + std::string(exe) +
                   "\" has a path separator.";
        }
        if (kForbidden.find(static_cast<char>(c)) != std::string_view::npos) {
            return "The manifest's \"exe\" has the character " + std::string(1, static_cast<char>(c)) +
                   ", which Windows doesn't allow in file names.";
        }
        if (c < 0x20 || c == 0x7f) {
            return "The manifest's \"exe\" has the control character " + describe_byte(c) +
                   ", which Windows doesn't allow in file names.";
        }
    }
    if (exe == "." || exe == "..") return "The manifest's \"exe\" must name a file, not \"" + std::string(exe) + "\".";
    std::string stem(exe.substr(0, exe.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    std::transform(stem.begin(), stem.end(), stem.begin(), [](unsigned char c) {
        return static_cast<char>(std::tolower(c));
    });
    if (std::find(kDeviceNames.begin(), kDeviceNames.end(), stem) != kDeviceNames.end()) {
        return "The manifest's \"exe\" is \"" + std::string(exe) + "\", a name Windows reserves for a device.";
    }
    return std::nullopt;
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
    if (auto problem = exe_problem(manifest->exe)) return unexpected(*problem);
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
