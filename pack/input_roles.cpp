#include "input_roles.h"

#include <algorithm>
#include <system_error>

#include "common/text.h"
#include "file_io.h"
#include "pe_image.h"
#include "resource_tree.h"
#include "resource_writer.h"
#include "version_record.h"

namespace plinth::pack {
namespace {

constexpr std::uint16_t kMachineI386 = 0x014c;
constexpr std::uint16_t kMachineArm64 = 0xaa64;
constexpr std::uint16_t kFileExecutableImage = 0x0002;
constexpr std::uint16_t kFileDll = 0x2000;
constexpr std::uint16_t kSubsystemGui = 2;
constexpr std::uint16_t kSubsystemConsole = 3;

bool starts_with(ByteView bytes, std::string_view prefix) {
    if (bytes.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (bytes[i] != static_cast<std::uint8_t>(prefix[i])) return false;
    }
    return true;
}

// The first byte that isn't white space, or 0.
char first_visible(ByteView bytes) {
    std::size_t i = starts_with(bytes, "\xEF\xBB\xBF") ? 3 : 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n')) ++i;
    return i < bytes.size() ? static_cast<char>(bytes[i]) : '\0';
}

// What an image file is, by its first bytes: "a PNG image", or nothing.
std::optional<std::string> image_format(ByteView bytes) {
    if (starts_with(bytes, "\x89PNG\r\n\x1a\n")) return "a PNG image";
    if (starts_with(bytes, "\xFF\xD8\xFF")) return "a JPEG image";
    if (starts_with(bytes, "GIF87a") || starts_with(bytes, "GIF89a")) return "a GIF image";
    if (starts_with(bytes, "BM")) return "a BMP image";
    if (starts_with(bytes, "RIFF") && bytes.size() >= 12 && starts_with(bytes.subspan(8), "WEBP")) return "a WebP image";
    if (starts_with(bytes, "II*\0") || starts_with(bytes, "MM\0*")) return "a TIFF image";
    if (starts_with(bytes, "icns")) return "a macOS icon (ICNS)";
    if (first_visible(bytes) == '<') {
        const std::string head(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(bytes.size(), 512)));
        if (head.find("<svg") != std::string::npos) return "an SVG image";
    }
    return std::nullopt;
}

// What a file that isn't a Windows executable looks like, for the app's message.
std::string looks_like(ByteView bytes) {
    if (bytes.empty()) return "it is empty";
    const char first = first_visible(bytes);
    if (first == '{' || first == '[') return "it looks like JSON text (the manifest goes to --manifest)";
    if (auto image = image_format(bytes)) return "it is " + *image;
    if (starts_with(bytes, "\x7F" "ELF")) return "it is a Linux program (ELF)";
    if (starts_with(bytes, "#!")) return "it is a script";
    if (starts_with(bytes, "PK\x03\x04")) return "it is a ZIP archive";
    if (starts_with(bytes, "\xCF\xFA\xED\xFE") || starts_with(bytes, "\xCE\xFA\xED\xFE") ||
        starts_with(bytes, "\xCA\xFE\xBA\xBE")) {
        return "it is a macOS program (Mach-O)";
    }
    return "it has no MZ header";
}

std::string machine_name(std::uint16_t machine) {
    switch (machine) {
        case 0x01c0: return "ARM (32-bit)";
        case 0x01c4: return "ARM Thumb-2 (32-bit)";
        case 0x0200: return "Itanium";
        case 0xa641: return "ARM64EC";
        case 0x0000: return "no machine (an object or resource-only file)";
        default: {
            static const char digits[] = "0123456789abcdef";
            std::string hex = "machine type 0x";
            for (int shift = 12; shift >= 0; shift -= 4) hex.push_back(digits[(machine >> shift) & 15]);
            return hex;
        }
    }
}

std::string quoted_utf8(std::u16string_view text) {
    // Appended: GCC 12 at -O3 takes "\"" + text for an overlapping copy (-Wrestrict).
    std::string out = "\"";
    out += to_utf8(text);
    out += '"';
    return out;
}

// "\"Notepad\" 10.0 (Microsoft Corporation)": what the version record says a program is.
std::string program_description(const std::map<std::u16string, std::u16string>& strings) {
    const auto value = [&](std::u16string_view key) -> std::u16string {
        const auto found = strings.find(std::u16string(key));
        return found == strings.end() ? std::u16string() : found->second;
    };
    std::u16string name = value(u"ProductName");
    if (name.empty()) name = value(u"FileDescription");
    if (name.empty()) name = value(u"OriginalFilename");
    if (name.empty()) return "a program whose version record doesn't say what it is";
    std::string text = quoted_utf8(name);
    std::u16string version = value(u"ProductVersion");
    if (version.empty()) version = value(u"FileVersion");
    // Appended piece by piece, clear of GCC 12's -O3 -Wrestrict false positive on " " + text.
    if (!version.empty()) {
        text += ' ';
        text += to_utf8(version);
    }
    if (const std::u16string company = value(u"CompanyName"); !company.empty()) {
        text += " (";
        text += to_utf8(company);
        text += ')';
    }
    return text;
}

bool carries_package(const ResourceTree& tree) {
    const auto* package = tree.find(ResourceName::number(kTypeRcData), ResourceName::number(1));
    if (package == nullptr || package->empty()) return false;
    return starts_with(package->begin()->second.bytes, "PLNSETUP");
}

bool ends_with_separator(const std::string& text) {
#ifdef _WIN32
    return !text.empty() && (text.back() == '/' || text.back() == '\\');
#else
    return !text.empty() && text.back() == '/';
#endif
}

}  // namespace

std::optional<std::string> app_problem(ByteView bytes) {
    if (!starts_with(bytes, "MZ")) return "The app isn't a Windows executable: " + looks_like(bytes) + ".";
    auto image = read_pe_image(bytes);
    if (!image) return "The app isn't a Windows executable that can be used: " + image.error().text + ".";
    if (image->machine != kMachineAmd64 && image->machine != kMachineI386 && image->machine != kMachineArm64) {
        return "The app is built for " + machine_name(image->machine) +
               ", which 64-bit Windows can't run; give an x86-64, x86 or ARM64 build of the app.";
    }
    const auto characteristics = read_u16(bytes, std::uint64_t{image->pe_offset} + 4 + 18);
    if (!characteristics || (*characteristics & kFileExecutableImage) == 0) {
        return "The app isn't marked as an executable image (is it an object file, or from a failed link?).";
    }
    if ((*characteristics & kFileDll) != 0) return "The app is a DLL, not a program; give the app's .exe.";
    const auto subsystem = read_u16(bytes, std::uint64_t{image->optional_offset} + 68);
    if (!subsystem || (*subsystem != kSubsystemGui && *subsystem != kSubsystemConsole)) {
        return "The app isn't a desktop program (its subsystem is " + (subsystem ? std::to_string(*subsystem) : std::string("unreadable")) +
               ", not the Windows GUI or console); give the app's .exe.";
    }
    return std::nullopt;
}

std::optional<std::string> stub_problem(ByteView bytes, std::string_view packer_version) {
    auto tree = read_stub_resources(bytes);
    if (!tree) return "The stub can't be used: " + tree.error().text + ".";
    const std::string wanted = " Use the plinth-setup.exe that comes with this plinth-pack " + std::string(packer_version) + ".";
    const auto* versions = tree->find(ResourceName::number(kTypeVersion), ResourceName::number(1));
    const auto strings = versions != nullptr && !versions->empty()
                             ? read_version_strings(versions->begin()->second.bytes)
                             : std::map<std::u16string, std::u16string>{};
    const auto mark = strings.find(std::u16string(kRuntimeMarkName));
    if (mark == strings.end()) {
        if (carries_package(*tree)) {
            return "The stub isn't a plinth runtime: it is an installer that plinth-pack has made." + wanted;
        }
        return "The stub isn't a plinth runtime: it is " +
               (strings.empty() ? std::string("a program without a version record") : program_description(strings)) +
               "." + wanted;
    }
    const std::string version = to_utf8(mark->second);
    if (version != packer_version) {
        return "The stub is the plinth runtime " + version + ", but this plinth-pack is " + std::string(packer_version) +
               "; a runtime and a packer of different versions may not agree on the package." + wanted;
    }
    return std::nullopt;
}

std::optional<std::string> icon_format_hint(ByteView bytes, std::string_view shown) {
    std::string what;
    if (auto image = image_format(bytes)) {
        what = *image;
    } else if (starts_with(bytes, "MZ")) {
        what = "a Windows executable";
    } else {
        return std::nullopt;
    }
    std::string target(shown);
    const std::size_t slash = target.find_last_of("/\\");
    const std::size_t dot = target.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) target.erase(dot);
    target += ".ico";
    if (what == "a Windows executable") {
        return "The icon is a Windows executable, not a .ico file. Leave --icon out to take the app's own icon, or give a "
               ".ico file.";
    }
    const auto shell_word = [](const std::string& word) {
        if (word.find_first_of(" '\"$`\\!&;|<>()*?[]#~") == std::string::npos) return word;
        std::string quoted = "'";
        for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return quoted + "'";
    };
    return "The icon is " + what + ", not a .ico file. Make an icon file from it, for example with ImageMagick: convert " +
           shell_word(std::string(shown)) + " -background none -define icon:auto-resize=256,64,48,32,16 " +
           shell_word(target) + " (on ImageMagick 7: magick in place of convert).";
}

std::optional<std::set<std::uint16_t>> icon_group_ids(ByteView executable) {
    auto image = read_pe_image(executable);
    if (!image) return std::nullopt;
    auto tree = read_resource_tree(*image);
    if (!tree) return std::nullopt;
    std::set<std::uint16_t> ids;
    if (const auto groups = tree->types.find(ResourceName::number(kTypeGroupIcon)); groups != tree->types.end()) {
        for (const auto& [name, languages] : groups->second) {
            if (name.id) ids.insert(*name.id);
        }
    }
    return ids;
}

bool is_inside_folder(const std::filesystem::path& path, const std::filesystem::path& folder) {
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) return false;
    const auto inner = std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error);
    const auto outer = std::filesystem::weakly_canonical(std::filesystem::absolute(folder, error), error);
    if (error) return false;
    auto [end, rest] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
    return end == outer.end();
}

std::optional<std::string> output_problem(const std::string& out_text, const std::filesystem::path& out,
                                          const std::vector<NamedInput>& inputs, const std::string& app_folder_text) {
    const std::filesystem::path app_folder = path_from_utf8(app_folder_text);
    // Beside the app folder, named after it: outside it whatever the folder is called.
    auto beside_app_folder = [&] {
        std::string trimmed = app_folder_text;
        while (trimmed.size() > 1 && ends_with_separator(trimmed)) trimmed.pop_back();
        std::filesystem::path folder = path_from_utf8(trimmed);
        if (folder.filename().empty() || folder.filename() == "." || folder.filename() == "..") {
            std::error_code ignored;
            folder = std::filesystem::weakly_canonical(std::filesystem::absolute(folder, ignored), ignored);
        }
        return path_to_utf8(folder.parent_path() / (path_to_utf8(folder.filename()) + "-Setup.exe"));
    };
    const bool app_is_folder = !app_folder_text.empty() && std::filesystem::is_directory(app_folder);
    std::error_code error;
    const auto status = std::filesystem::status(out, error);
    const bool folder = !error && std::filesystem::is_directory(status);
    if (folder || ends_with_separator(out_text)) {
        std::string example =
            (out_text.empty() || ends_with_separator(out_text) ? out_text : out_text + "/") + "MyApp-Setup.exe";
        if (app_is_folder && is_inside_folder(out / "MyApp-Setup.exe", app_folder)) example = beside_app_folder();
        return std::string(folder ? "--out is a folder" : "--out ends in a folder separator") +
               "; give the installer's file name, such as " + example + ".";
    }
    if (app_is_folder && is_inside_folder(out, app_folder)) {
        return "is inside the app folder " + app_folder_text +
               ", so the next build would pack this installer as one of the app's files. Write it outside, such as " +
               beside_app_folder() + ".";
    }
    if (error || !std::filesystem::exists(status)) return std::nullopt;
    for (const NamedInput& input : inputs) {
        std::error_code same_error;
        if (std::filesystem::equivalent(out, input.path, same_error) && !same_error) {
            return "--out is the same file as " + input.option + " (" + path_to_utf8(input.path) +
                   "); writing the installer would replace it. Give --out another name.";
        }
    }
    return std::nullopt;
}

}  // namespace plinth::pack
