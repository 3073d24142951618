// The packer's strict review of a manifest: never a crash on any text, every place inside the
// text, and a superset of the runtime's refusals; what it accepts, it reads as the runtime does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "pack_manifest.h"
#include "package/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view json(reinterpret_cast<const char*>(data), size);
    const auto runtime = plinth::check_app_manifest(json);
    const auto review = plinth::pack::review_manifest(json, {std::set<std::uint16_t>{1}});
    if (!runtime.ok() && !review.refused()) std::abort();
    if (!review.refused() && !(review.manifest.has_value() && *review.manifest == *runtime)) std::abort();
    std::size_t lines = 1;
    for (char c : json) lines += c == '\n';
    for (const auto& problem : review.problems) {
        if (problem.text.empty()) std::abort();
        if (problem.at && (problem.at->line == 0 || problem.at->line > lines || problem.at->column == 0)) std::abort();
    }
    plinth::pack::locate_json_values(json);
    return 0;
}
