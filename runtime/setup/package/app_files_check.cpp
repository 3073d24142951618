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

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::size_t component_count(const std::vector<std::string>& paths) {
    std::size_t count = 0;
    for (const std::string& path : paths) count += 1 + std::count(path.begin(), path.end(), '\\');
    return count;
}

}  // namespace

std::optional<std::string> app_file_path_problem(std::string_view path) {
    std::string_view part;
    switch (broken_app_path_rule(path, part)) {
        case AppPathRule::kept: return std::nullopt;
        case AppPathRule::utf8: return std::string("is not valid UTF-8");
        case AppPathRule::length: return "is longer than " + std::to_string(kMaxAppFilePathUnits) + " UTF-16 units";
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
        return "The app folder's files are nested too deeply: more than " + std::to_string(kMaxAppFileComponents) +
               " path components in all.";
    }
    std::vector<std::u16string> keys{fold_case(exe)};
    for (const std::string& path : paths) keys.push_back(fold_case(path));
    std::vector<std::u16string> sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string& path = i == 0 ? std::string(exe) : paths[i - 1];
        if (std::count(sorted.begin(), sorted.end(), keys[i]) > 1) {
            return "Two files would be the same file on Windows, which ignores case: " + quoted(path) + ".";
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
