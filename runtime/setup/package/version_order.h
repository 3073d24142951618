// Versions compared as numbers, part by part: the one rule the runtime's updates and the
// packer's feed share, so that "newer" means the same on both sides.
#pragma once

#include <optional>
#include <string_view>

namespace plinth {

// The longest version text either side accepts; a real one is a few characters.
inline constexpr std::size_t kMaxVersionLength = 64;

// Whether the text is one or more runs of ASCII digits separated by single dots ("1", "1.4.2",
// "2026.12.0"), at most `kMaxVersionLength` characters. Nothing else can be ordered: no sign,
// letters, suffix ("1.0-beta") or white space.
bool is_comparable_version(std::string_view version);

// Below zero, zero or above zero as `a` is older than, the same as or newer than `b`. Each part
// is a number of any length (leading zeros don't count: "1.02" equals "1.2"), and a missing part
// is zero ("1.2" equals "1.2.0"). Nothing when either isn't comparable.
std::optional<int> compare_versions(std::string_view a, std::string_view b);

}  // namespace plinth
