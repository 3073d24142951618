// The names the installer takes for one file against the names Windows takes for one file:
// common/upper_case.h against CompareStringOrdinal ignoring case, over every UTF-16 unit.
#include <algorithm>
#include <numeric>

#include "common/upper_case.h"
#include "probe.h"

namespace probe {
namespace {

int compare(char16_t a, char16_t b) {
    const wchar_t x = static_cast<wchar_t>(a), y = static_cast<wchar_t>(b);
    return CompareStringOrdinal(&x, 1, &y, 1, TRUE);
}

}  // namespace

void probe_case(Context&) {
    // Each unit is one name with its own upper case: ours is never a different name to Windows.
    int apart = 0;
    for (unsigned c = 0; c <= 0xFFFF; ++c) {
        const char16_t unit = static_cast<char16_t>(c);
        if (compare(unit, plinth::upper_case(unit)) != CSTR_EQUAL) {
            if (++apart <= 20) note("Windows keeps " + hex(c) + " apart from our upper case " + hex(plinth::upper_case(unit)));
        }
    }
    check(apart == 0, "every unit is the same name as its upper case to Windows", std::to_string(apart) + " are not");

    // And Windows joins no two units we keep apart. Ordered by Windows' comparison, the units a
    // name can't tell apart sit side by side; each such neighbour pair must share our upper case.
    std::vector<char16_t> units(0x10000);
    std::iota(units.begin(), units.end(), char16_t{0});
    std::sort(units.begin(), units.end(), [](char16_t a, char16_t b) { return compare(a, b) == CSTR_LESS_THAN; });
    int joined = 0;
    for (std::size_t i = 1; i < units.size(); ++i) {
        if (compare(units[i - 1], units[i]) == CSTR_EQUAL &&
            plinth::upper_case(units[i - 1]) != plinth::upper_case(units[i])) {
            if (++joined <= 20) note("Windows joins " + hex(units[i - 1]) + " and " + hex(units[i]) + ", which we keep apart");
        }
    }
    check(joined == 0, "Windows joins no two units of different upper case", std::to_string(joined) + " pairs");
}

}  // namespace probe
