#include "package/app_files.h"

#include <algorithm>
#include <set>

#include "package/file_name_rules.h"
#include "package/manifest.h"

namespace plinth {
namespace {

char16_t fold_unit(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<char16_t>(c + 32);
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
    return c;
}

std::vector<std::string_view> components(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find('\\', start);
        parts.push_back(path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

std::uint32_t read_u32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 | std::uint32_t{bytes[at + 2]} << 16 |
           std::uint32_t{bytes[at + 3]} << 24;
}

void put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

std::optional<std::string> app_file_path_problem(std::string_view path) {
    if (!is_valid_utf8(path)) return std::string("is not valid UTF-8");
    if (to_utf16(path).size() > kMaxAppFilePathUnits) {
        return "is longer than " + std::to_string(kMaxAppFilePathUnits) + " UTF-16 units";
    }
    const auto parts = components(path);
    for (std::string_view part : parts) {
        if (part.empty()) return std::string("has an empty component");
        if (auto problem = file_name_problem(part)) return "has a component " + quoted(part) + " that " + *problem;
        if (part.back() == '.' || part.back() == ' ') {
            return "has a component " + quoted(part) + " that ends in a dot or a space, which Windows drops";
        }
        const std::u16string folded = fold_case(part);
        if (folded.ends_with(u".old")) {
            return "ends in \".old\": the installer deletes such files as leftovers of an earlier update";
        }
    }
    if (parts.size() == 1 && fold_case(path) == u"uninstall.exe") {
        return std::string("is the installer's own copy in the install folder");
    }
    return std::nullopt;
}

std::u16string fold_case(std::string_view path) {
    std::u16string units = to_utf16(path);
    for (char16_t& c : units) c = fold_unit(c);
    return units;
}

std::optional<std::string> app_file_set_problem(const std::vector<std::string>& paths, std::string_view exe) {
    std::set<std::u16string> files;
    files.insert(fold_case(exe));
    for (const std::string& path : paths) {
        if (!files.insert(fold_case(path)).second) {
            return "Two files would be the same file on Windows, which ignores case: " + quoted(path) + ".";
        }
    }
    for (const std::string& folder : folders_of(paths)) {
        if (files.contains(fold_case(folder))) {
            return "The app folder has " + quoted(folder) + " both as a file and as a folder.";
        }
    }
    return std::nullopt;
}

Result<AppFiles> read_app_files(std::span<const std::uint8_t> resource, std::string_view exe) {
    const auto unreadable = [] { return fail(std::string(kUnreadablePackageText)); };
    if (resource.size() < kAppFilesHeaderSize) return unreadable();
    if (!std::equal(kAppFilesMagic.begin(), kAppFilesMagic.end(), resource.begin())) return unreadable();
    const std::uint32_t count = read_u32(resource, 8);
    if (count == 0 || count > kMaxAppFiles) return unreadable();

    AppFiles files;
    files.reserve(count);
    std::vector<std::uint32_t> stream_sizes;
    std::size_t at = kAppFilesHeaderSize;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (resource.size() - at < kAppFileEntryHeaderSize) return unreadable();
        const std::size_t length = std::size_t{resource[at]} | std::size_t{resource[at + 1]} << 8;
        AppFile file;
        file.size = read_u32(resource, at + 2);
        stream_sizes.push_back(read_u32(resource, at + 6));
        at += kAppFileEntryHeaderSize;
        if (resource.size() - at < length || file.size > kMaxAppFileSize) return unreadable();
        file.path.assign(reinterpret_cast<const char*>(resource.data() + at), length);
        at += length;
        if (app_file_path_problem(file.path)) return unreadable();
        files.push_back(std::move(file));
    }
    // The streams fill the rest exactly; summed in 64 bits, where 10000 of them can't wrap.
    std::uint64_t total = 0;
    for (std::uint32_t size : stream_sizes) total += size;
    if (total != resource.size() - at) return unreadable();
    for (std::uint32_t i = 0; i < count; ++i) {
        files[i].stream = resource.subspan(at, stream_sizes[i]);
        at += stream_sizes[i];
    }

    std::vector<std::string> paths;
    for (const AppFile& file : files) paths.push_back(file.path);
    if (app_file_set_problem(paths, exe)) return unreadable();
    return files;
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

std::vector<std::string> folders_of(const std::vector<std::string>& paths) {
    std::vector<std::string> folders;
    std::set<std::u16string> seen;
    for (const std::string& path : paths) {
        for (std::size_t end = path.rfind('\\'); end != std::string::npos && end > 0;
             end = path.rfind('\\', end - 1)) {
            std::string folder = path.substr(0, end);
            if (!seen.insert(fold_case(folder)).second) break;  // its parents are in already
            folders.push_back(std::move(folder));
        }
    }
    const auto depth = [](const std::string& path) { return std::count(path.begin(), path.end(), '\\'); };
    std::stable_sort(folders.begin(), folders.end(),
                     [&](const std::string& a, const std::string& b) { return depth(a) > depth(b); });
    return folders;
}

std::string join_installed_paths(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& path : paths) {
        if (!text.empty()) text += '|';
        text += path;
    }
    return text;
}

std::vector<std::string> split_installed_paths(std::string_view text) {
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (start <= text.size() && !text.empty()) {
        std::size_t end = text.find('|', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view path = text.substr(start, end - start);
        if (!app_file_path_problem(path)) paths.emplace_back(path);
        start = end + 1;
    }
    return paths;
}

}  // namespace plinth
