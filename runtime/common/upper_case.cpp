#include "common/upper_case.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace plinth {
namespace {

struct Run {
    std::uint16_t first, delta;
    std::uint8_t count, step;
};

// Some 160 runs of 6 bytes rather than a 128 KiB array: the stub carries the table.
constexpr Run kRuns[] = {
#include "common/upper_case_table.inc"
};

}  // namespace

char16_t upper_case(char16_t unit) {
    // The last run that starts at or before the unit.
    const Run* run = std::upper_bound(std::begin(kRuns), std::end(kRuns), unit,
                                      [](char16_t c, const Run& r) { return c < r.first; });
    if (run == std::begin(kRuns)) return unit;
    --run;
    const unsigned offset = unit - run->first;
    if (offset % run->step != 0 || offset / run->step > run->count) return unit;
    return static_cast<char16_t>(unit + run->delta);
}

std::u16string upper_case(std::u16string_view units) {
    std::u16string upper(units);
    for (char16_t& c : upper) c = upper_case(c);
    return upper;
}

}  // namespace plinth
