#include "package/file_name_rules.h"

#include <array>
#include <cstdint>

#include "common/text.h"

namespace plinth {
namespace {

// The nine characters Windows refuses in a file name, besides control characters.
constexpr std::string_view kForbidden = "<>:\"/\\|?*";

// Device names that Windows maps to devices whatever the extension, compared after ASCII
// lowering. COM and LPT take a digit 0-9 or a superscript one, two or three (in UTF-8 here).
constexpr std::array<std::string_view, 6> kDeviceNames = {"con", "prn", "aux", "nul", "conin$", "conout$"};
constexpr std::array<std::string_view, 2> kNumberedDevices = {"com", "lpt"};
constexpr std::array<std::string_view, 3> kSuperscriptDigits = {"\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};

bool is_device_name(std::string_view stem) {
    for (std::string_view device : kDeviceNames) {
        if (stem == device) return true;
    }
    for (std::string_view device : kNumberedDevices) {
        if (!stem.starts_with(device)) continue;
        const std::string_view number = stem.substr(device.size());
        if (number.size() == 1 && number[0] >= '0' && number[0] <= '9') return true;
        for (std::string_view digit : kSuperscriptDigits) {
            if (number == digit) return true;
        }
    }
    return false;
}

char lower_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lower_ascii(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) c = lower_ascii(c);
    return lowered;
}

// Which rule a file name breaks. The runtime only asks whether one is broken; the packer's
// texts are composed from it, so the stub carries the rules without the sentences.
enum class NameFault : std::uint8_t { none, separator, character, empty, dots, device };

// The broken rule; for a character one, `at` is where the character is.
NameFault name_fault(std::string_view name, std::size_t& at) {
    for (at = 0; at < name.size(); ++at) {
        const char c = name[at];
        if (c == '/' || c == '\\') return NameFault::separator;
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || kForbidden.find(c) != std::string_view::npos) return NameFault::character;
    }
    if (name.empty()) return NameFault::empty;
    if (name == "." || name == "..") return NameFault::dots;
    std::string stem = lower_ascii(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    if (is_device_name(stem)) return NameFault::device;
    return NameFault::none;
}

enum class ExeFault : std::uint8_t { none, name, uninstaller, old };

ExeFault exe_fault(std::string_view exe) {
    std::size_t at;
    if (name_fault(exe, at) != NameFault::none) return ExeFault::name;
    // Windows drops trailing dots and spaces when it opens a file, so "uninstall.exe." is the
    // installer's own copy too.
    std::string_view opened = exe;
    while (!opened.empty() && (opened.back() == '.' || opened.back() == ' ')) opened.remove_suffix(1);
    const std::string lowered = lower_ascii(opened);
    if (lowered == "uninstall.exe") return ExeFault::uninstaller;
    if (lowered.ends_with(".old")) return ExeFault::old;
    return ExeFault::none;
}

}  // namespace

bool is_file_name(std::string_view name) {
    std::size_t at;
    return name_fault(name, at) == NameFault::none;
}

bool usable_app_exe(std::string_view exe) { return exe_fault(exe) == ExeFault::none; }

std::optional<std::string> file_name_problem(std::string_view name) {
    std::size_t at;
    switch (name_fault(name, at)) {
        case NameFault::none: return std::nullopt;
        case NameFault::separator: return std::string("has a path separator");
        case NameFault::character: {
            const char& c = name[at];
            const auto byte = static_cast<unsigned char>(c);
            const bool control = byte < 0x20 || byte == 0x7f;
            // A control character shows as U+00XX.
            static constexpr char kDigits[] = "0123456789ABCDEF";
            const char code[] = {kDigits[byte >> 4], kDigits[byte & 15]};
            return concat({control ? "has the control character U+00" : "has the character ",
                           control ? std::string_view(code, 2) : std::string_view(&c, 1),
                           ", which Windows doesn't allow in file names"});
        }
        case NameFault::empty: return std::string("is empty");
        case NameFault::dots: return concat({"is \"", name, "\", which names a folder"});
        case NameFault::device: break;
    }
    return std::string("is a name Windows reserves for a device");
}

std::optional<std::string> app_exe_problem(std::string_view exe) {
    // Appended, not "\"" + ...: GCC 12 at -O3 takes that for an overlapping copy (-Wrestrict).
    std::string quoted = "\"";
    quoted += visible_controls(exe);
    quoted += '"';
    switch (exe_fault(exe)) {
        case ExeFault::none: return std::nullopt;
        case ExeFault::name: {
            auto problem = file_name_problem(exe);
            if (problem->starts_with("has a path separator")) {
                return "The manifest's \"exe\" must be a file name, not a path: " + quoted + " has a path separator.";
            }
            if (exe == "." || exe == "..") return "The manifest's \"exe\" must name a file, not " + quoted + ".";
            return "The manifest's \"exe\" " + quoted + " " + *problem + ".";
        }
        case ExeFault::uninstaller:
            return "The manifest's \"exe\" can't be \"uninstall.exe\": the installer keeps its own copy under that "
                   "name in the install folder.";
        case ExeFault::old: break;
    }
    return "The manifest's \"exe\" can't end in \".old\": the installer deletes such files as leftovers of "
           "an earlier update.";
}

}  // namespace plinth
