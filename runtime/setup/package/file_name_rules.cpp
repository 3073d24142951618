#include "package/file_name_rules.h"

#include <array>

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

}  // namespace

std::optional<std::string> file_name_problem(std::string_view name) {
    for (const char& c : name) {
        if (c == '/' || c == '\\') return std::string("has a path separator");
        const auto byte = static_cast<unsigned char>(c);
        const bool control = byte < 0x20 || byte == 0x7f;
        if (control || kForbidden.find(c) != std::string_view::npos) {
            // A control character shows as U+00XX.
            static constexpr char kDigits[] = "0123456789ABCDEF";
            const char code[] = {kDigits[byte >> 4], kDigits[byte & 15]};
            return concat({control ? "has the control character U+00" : "has the character ",
                           control ? std::string_view(code, 2) : std::string_view(&c, 1),
                           ", which Windows doesn't allow in file names"});
        }
    }
    if (name.empty()) return std::string("is empty");
    if (name == "." || name == "..") return concat({"is \"", name, "\", which names a folder"});
    std::string stem = lower_ascii(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    if (is_device_name(stem)) return std::string("is a name Windows reserves for a device");
    return std::nullopt;
}

std::optional<std::string> app_exe_problem(std::string_view exe) {
    // Appended, not "\"" + ...: GCC 12 at -O3 takes that for an overlapping copy (-Wrestrict).
    std::string quoted = "\"";
    quoted += visible_controls(exe);
    quoted += '"';
    if (auto problem = file_name_problem(exe)) {
        if (problem->starts_with("has a path separator")) {
            return "The manifest's \"exe\" must be a file name, not a path: " + quoted + " has a path separator.";
        }
        if (exe == "." || exe == "..") return "The manifest's \"exe\" must name a file, not " + quoted + ".";
        return "The manifest's \"exe\" " + quoted + " " + *problem + ".";
    }
    // Windows drops trailing dots and spaces when it opens a file, so "uninstall.exe." is the
    // installer's own copy too.
    std::string_view opened = exe;
    while (!opened.empty() && (opened.back() == '.' || opened.back() == ' ')) opened.remove_suffix(1);
    const std::string lowered = lower_ascii(opened);
    if (lowered == "uninstall.exe") {
        return "The manifest's \"exe\" can't be \"uninstall.exe\": the installer keeps its own copy under that "
               "name in the install folder.";
    }
    if (lowered.ends_with(".old")) {
        return "The manifest's \"exe\" can't end in \".old\": the installer deletes such files as leftovers of "
               "an earlier update.";
    }
    return std::nullopt;
}

}  // namespace plinth
