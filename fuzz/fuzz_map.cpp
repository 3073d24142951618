// An installer's regions, from any bytes: they must cover the file, in order, none empty, however
// its PE headers, resource directory, package tables and piece table lie.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "package/installer_regions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto regions = plinth::installer_regions(std::span(data, size));
    std::uint64_t at = 0;
    for (const plinth::Region& region : regions) {
        if (region.offset != at || region.size == 0) std::abort();
        at += region.size;
    }
    if (at != size) std::abort();
    return 0;
}
