#include "common/upper_case.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace plinth {
namespace {

// Four bytes a run: the stub carries some 160 of them rather than a 128 KiB array.
struct Run {
    std::uint16_t first;
    std::uint8_t count : 7, two_apart : 1;  // the step is 1, or 2 where two_apart is set
    std::uint8_t delta;                     // kDeltas[delta] is the distance
};

#include "common/upper_case_table.inc"

}  // namespace

char16_t upper_case(char16_t unit) {
    // The last run that starts at or before the unit.
    const Run* run = std::upper_bound(std::begin(kRuns), std::end(kRuns), unit,
                                      [](char16_t c, const Run& r) { return c < r.first; });
    if (run == std::begin(kRuns)) return unit;
    --run;
    const unsigned offset = unit - run->first;
    const unsigned step = run->two_apart + 1u;
    if (offset % step != 0 || offset / step > run->count) return unit;
    return static_cast<char16_t>(unit + kDeltas[run->delta]);
}

std::u16string upper_case(std::u16string_view units) {
    std::u16string upper(units);
    for (char16_t& c : upper) c = upper_case(c);
    return upper;
}

}  // namespace plinth
