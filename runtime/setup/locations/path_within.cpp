#include "locations/path_within.h"

#include "common/upper_case.h"

namespace plinth {

std::optional<std::u16string_view> path_within(std::u16string_view path, std::u16string_view folder) {
    while (!folder.empty() && (folder.back() == u'\\' || folder.back() == u'/')) folder.remove_suffix(1);
    const std::size_t size = folder.size();
    if (size == 0 || path.size() < size) return std::nullopt;
    // Unit by unit: no upper-cased copy of either path is made.
    for (std::size_t i = 0; i < size; ++i) {
        if (upper_case(path[i]) != upper_case(folder[i])) return std::nullopt;
    }
    if (path.size() == size) return path.substr(size);
    if (path[size] != u'\\') return std::nullopt;
    return path.substr(size + 1);
}

}  // namespace plinth
