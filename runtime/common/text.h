// Text and path helpers shared by every subsystem.
//
// Texts are UTF-8 `std::string`; paths and everything handed to Windows are UTF-16 code units
// (`std::u16string`), kept exactly as Windows gives them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace plinth {

using Path = std::u16string;

// UTF-8 to UTF-16. Malformed UTF-8 becomes U+FFFD; our own texts are valid UTF-8 already.
std::u16string to_utf16(std::string_view utf8);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD, so this never fails.
std::string to_utf8(std::u16string_view utf16);

// UTF-8 to scalar values and back, for rules that work on characters. Malformed UTF-8 becomes
// U+FFFD, as in to_utf16.
std::u32string to_utf32(std::string_view utf8);
// One scalar of to_utf32: the one at `i`, which moves past it.
char32_t next_scalar(std::string_view utf8, std::size_t& i);
// Appends the scalar's UTF-8 form, as to_utf8 does.
void put_utf8(std::string& out, char32_t scalar);
std::string to_utf8(std::u32string_view scalars);

// UTF-16 to UTF-8, or nothing when the units contain an unpaired surrogate.
std::optional<std::string> to_utf8_strict(std::u16string_view utf16);

// Whether the bytes are well-formed UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
bool is_valid_utf8(std::string_view bytes);

// The text with each C0 control character written visibly: \0, \t, \n, \r, and \xHH for the
// others. Shown or printed, a NUL would cut the text short, and a line break or an escape
// sequence would forge a line of a caller's log or change how the rest shows.
std::string visible_controls(std::string_view text);

// The parts joined in one allocation. Failure texts are composed with it: a chain of operator+
// leaves a temporary string to build and destroy per step at every call site.
std::string concat(std::initializer_list<std::string_view> parts);

// A number in decimal, without the per-type instantiations of std::to_string.
std::string decimal_text(std::uint64_t number);

// The value of a hex digit in either case, or -1 when `c` isn't one.
int hex_value(char c);

// A path shown or written as text.
inline std::string path_text(std::u16string_view path) { return to_utf8(path); }

// Base and component with one backslash between them, unless the base is empty or already ends
// with a separator.
Path join_path(std::u16string_view base, std::u16string_view component);

// The folder part of a path (everything before the last separator; a root keeps it, so the
// folder of C:\App.exe is C:\ and not C:), or nothing when the path has no separator.
std::optional<Path> parent_folder(std::u16string_view path);

// The last component of a path (everything after the last separator).
Path final_component(std::u16string_view path);

// Whether the texts are equal once their ASCII letters are in one case.
bool equal_ascii_case_blind(std::string_view a, std::string_view b);

// ASCII letters A-Z become a-z; every other unit stays.
std::u16string ascii_lower(std::u16string_view text);

}  // namespace plinth
