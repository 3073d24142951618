#include <algorithm>

#include "package/app_files.h"
#include "package/file_name_rules.h"

// The packer's side of the app folder's files: the rules as sentences, and the resource's writer.
// Apart from the runtime's reader so that the installer doesn't carry them.
namespace plinth {
namespace {

void put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Appended piece by piece: GCC 12 at -O3 takes "\"" + std::string(text) for an overlapping copy
// (-Wrestrict, a false positive).
std::string quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    out += text;
    out += '"';
    return out;
}

std::size_t component_count(const std::vector<std::string>& paths) {
    std::size_t count = 0;
    for (const std::string& path : paths) count += 1 + std::count(path.begin(), path.end(), '\\');
    return count;
}

// Two paths equal but for case, named where they first differ: "Data\" and "data\" when it is a
// folder, the whole paths when it is the file.
std::string case_collision(std::string_view a, std::string_view b) {
    for (std::size_t at_a = 0, at_b = 0; at_a <= a.size() && at_b <= b.size();) {
        const std::size_t end_a = a.find('\\', at_a);
        const std::size_t end_b = b.find('\\', at_b);
        if (end_a == std::string_view::npos || end_b == std::string_view::npos) break;
        if (a.substr(at_a, end_a - at_a) != b.substr(at_b, end_b - at_b)) {
            return "The app folder has the folders " + quoted(a.substr(0, end_a + 1)) + " and " +
                   quoted(b.substr(0, end_b + 1)) +
                   ", which are one folder on Windows (it ignores case). Give both the same name, or rename one.";
        }
        at_a = end_a + 1;
        at_b = end_b + 1;
    }
    return "The app folder has " + quoted(a) + " and " + quoted(b) +
           ", which are one file on Windows (it ignores case). Rename or remove one of them.";
}

}  // namespace

std::optional<std::string> app_file_path_problem(std::string_view path) {
    std::string_view part;
    switch (broken_app_path_rule(path, part)) {
        case AppPathRule::kept: return std::nullopt;
        case AppPathRule::utf8: return std::string("is not valid UTF-8");
        case AppPathRule::length: return "is longer than " + decimal_text(kMaxAppFilePathUnits) + " UTF-16 units";
        case AppPathRule::empty: return std::string("has an empty component");
        case AppPathRule::name: return "has a component " + quoted(part) + " that " + *file_name_problem(part);
        case AppPathRule::trailing:
            return "has a component " + quoted(part) + " that ends in a dot or a space, which Windows drops";
        case AppPathRule::old:
            return std::string("ends in \".old\": the installer deletes such files as leftovers of an earlier update");
        case AppPathRule::uninstaller: return std::string("is the installer's own copy in the install folder");
    }
    return std::nullopt;
}

std::optional<std::string> app_file_set_problem(const std::vector<std::string>& paths, std::string_view exe) {
    if (component_count(paths) > kMaxAppFileComponents) {
        return "The app folder's files are nested too deeply: more than " + decimal_text(kMaxAppFileComponents) +
               " path components in all.";
    }
    std::vector<std::u16string> keys{fold_case(exe)};
    for (const std::string& path : paths) keys.push_back(fold_case(path));
    std::vector<std::u16string> sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string& path = i == 0 ? std::string(exe) : paths[i - 1];
        if (std::count(sorted.begin(), sorted.end(), keys[i]) > 1) {
            const std::size_t j = static_cast<std::size_t>(
                std::find(keys.begin() + static_cast<std::ptrdiff_t>(i) + 1, keys.end(), keys[i]) - keys.begin());
            return case_collision(path, j == 0 ? std::string(exe) : paths[j - 1]);
        }
        // A folder sorts before the paths below it, though other names may come in between.
        const std::u16string below = keys[i] + u'\\';
        const auto next = std::lower_bound(sorted.begin(), sorted.end(), below);
        if (next != sorted.end() && next->starts_with(below)) {
            return "The app folder has " + quoted(path) + " both as a file and as a folder.";
        }
    }
    return std::nullopt;
}

std::vector<std::uint8_t> build_app_files(const AppFiles& files) {
    std::vector<std::uint8_t> out(kAppFilesMagic.begin(), kAppFilesMagic.end());
    put(out, static_cast<std::uint32_t>(files.size()), 4);
    for (const AppFile& file : files) {
        put(out, static_cast<std::uint32_t>(file.path.size()), 2);
        put(out, file.size, 4);
        put(out, static_cast<std::uint32_t>(file.stream.size()), 4);
        out.insert(out.end(), file.path.begin(), file.path.end());
    }
    for (const AppFile& file : files) out.insert(out.end(), file.stream.begin(), file.stream.end());
    return out;
}

}  // namespace plinth
