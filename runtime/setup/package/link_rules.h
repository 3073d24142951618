// What the installer accepts as the Start-menu shortcut's AppUserModelID and as a URL scheme the
// app handles: the runtime leaves out what fails these, the packer refuses it with the reason
// (and refuses more: the schemes Windows and the browsers own).
#pragma once

#include <cstddef>
#include <string_view>

namespace plinth {

inline constexpr std::size_t kMaxAppUserModelIdLength = 128;  // UTF-16 units, as Windows counts
inline constexpr std::size_t kMaxUrlSchemeLength = 255;       // a registry key name's limit
inline constexpr std::size_t kMaxUrlProtocols = 16;

// Windows takes an id of 1 to 128 UTF-16 units without spaces; control characters (a NUL would
// cut it short) aren't taken either.
bool usable_app_user_model_id(std::string_view id);

// A letter, then letters, digits, "+", "-" and ".", at most `kMaxUrlSchemeLength` in all: the
// URL syntax's, which also keeps the scheme a single registry key name.
bool usable_url_scheme(std::string_view scheme);

// Schemes are kept joined by '|', which no scheme has. The first of `list`, which then holds
// the rest.
std::string_view next_scheme(std::string_view& list);

// Whether the joined `list` has the scheme, compared without case (schemes are ASCII).
bool lists_scheme(std::string_view list, std::string_view scheme);

}  // namespace plinth
