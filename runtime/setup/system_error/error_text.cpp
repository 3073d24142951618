#include "system_error/error_text.h"

namespace plinth {
namespace {

constexpr std::uint32_t kFromHmodule = 0x00000800;      // FORMAT_MESSAGE_FROM_HMODULE
constexpr std::uint32_t kFromSystem = 0x00001000;       // FORMAT_MESSAGE_FROM_SYSTEM
constexpr std::uint32_t kIgnoreInserts = 0x00000200;    // FORMAT_MESSAGE_IGNORE_INSERTS
constexpr std::uint32_t kFacilityNtBit = 0x10000000;    // FACILITY_NT_BIT
constexpr std::uint32_t kEnglishUs = 0x0409;            // MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)

std::u16string_view trim_trailing_space(std::u16string_view text) {
    while (!text.empty()) {
        const char16_t last = text.back();
        if (last != u'\t' && last != u'\n' && last != u'\r' && last != u' ') break;
        text.remove_suffix(1);
    }
    return text;
}

// A system message on one line: some span lines, and a failure text is one line of a log.
std::u16string one_line(std::u16string_view text) {
    std::u16string line;
    for (char16_t c : trim_trailing_space(text)) {
        if (c == u'\r' || c == u'\n') {
            if (!line.empty() && line.back() != u' ') line.push_back(u' ');
        } else {
            line.push_back(c);
        }
    }
    return line;
}

std::string decimal(std::uint32_t value) { return decimal_text(value); }

// "0x8000FFFF": eight upper-case hex digits. By hand: the C library's formatter would bring its
// whole printf into the stub.
std::string hex_text(std::uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) text += digits[(value >> shift) & 15];
    return text;
}

std::string system_error_text(platform::SystemText& system_text, platform::ErrorCode code, std::uint32_t language) {
    std::uint32_t flags = kFromSystem | kIgnoreInserts;
    std::uint32_t message_id = code;
    const bool from_ntdll = (code & kFacilityNtBit) != 0;
    if (from_ntdll) {
        flags |= kFromHmodule;
        message_id &= ~kFacilityNtBit;
    }
    auto message = system_text.format_message(flags, from_ntdll, message_id, language);
    // A system without the English text has the user's language's (the neutral one's first).
    if (!message && language != 0) message = system_text.format_message(flags, from_ntdll, message_id);
    if (!message) {
        return "OS Error " + decimal(code) + " (FormatMessageW() returned error " +
               decimal(message.error()) + ")";
    }
    const auto text = to_utf8_strict(one_line(*message));
    if (!text) return "OS Error " + decimal(code) + " (FormatMessageW() returned invalid UTF-16)";
    return *text + " (os error " + decimal(code) + ")";
}

}  // namespace

platform::HResult hresult_from_win32(platform::ErrorCode code) {
    if (static_cast<platform::HResult>(code) <= 0) return static_cast<platform::HResult>(code);
    return static_cast<platform::HResult>((code & 0x0000FFFFu) | 0x80070000u);
}

std::string os_error_text(platform::SystemText& system_text, platform::ErrorCode code) {
    return system_error_text(system_text, code, 0);
}

std::string english_os_error_text(platform::SystemText& system_text, platform::ErrorCode code) {
    return system_error_text(system_text, code, kEnglishUs);
}

std::string com_error_text(platform::SystemText& system_text, platform::HResult result) {
    const auto code = static_cast<std::uint32_t>(result);
    const auto message = system_text.format_message(kFromSystem | kIgnoreInserts, false, code);
    if (message) return to_utf8(one_line(*message));
    // No message for it in the system's table: the number is all there is to show.
    return "Error " + hex_text(code);
}

std::string com_error_text(platform::SystemText& system_text, const platform::ComError& error) {
    const std::u16string description = one_line(error.description);
    if (!description.empty()) return to_utf8(description);
    return com_error_text(system_text, error.code);
}

}  // namespace plinth
