#include "package/version_order.h"

#include <cstddef>

namespace plinth {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The next part from `at` without its leading zeros (empty for zero), and `at` moved past it and
// its dot. Past the end, every further part is zero.
std::string_view next_part(std::string_view version, std::size_t& at) {
    if (at >= version.size()) return {};
    std::size_t end = version.find('.', at);
    if (end == std::string_view::npos) end = version.size();
    std::size_t start = at;
    while (start < end && version[start] == '0') ++start;
    at = end + 1;
    return version.substr(start, end - start);
}

}  // namespace

bool is_comparable_version(std::string_view version) {
    if (version.empty() || version.size() > kMaxVersionLength) return false;
    bool part_has_digit = false;
    for (char c : version) {
        if (is_digit(c)) {
            part_has_digit = true;
        } else if (c == '.' && part_has_digit) {
            part_has_digit = false;
        } else {
            return false;
        }
    }
    return part_has_digit;
}

std::optional<int> compare_versions(std::string_view a, std::string_view b) {
    if (!is_comparable_version(a) || !is_comparable_version(b)) return std::nullopt;
    std::size_t at_a = 0;
    std::size_t at_b = 0;
    while (at_a < a.size() || at_b < b.size()) {
        const std::string_view part_a = next_part(a, at_a);
        const std::string_view part_b = next_part(b, at_b);
        // Without leading zeros, a longer run of digits is the larger number.
        if (part_a.size() != part_b.size()) return part_a.size() < part_b.size() ? -1 : 1;
        if (const int order = part_a.compare(part_b); order != 0) return order < 0 ? -1 : 1;
    }
    return 0;
}

}  // namespace plinth
