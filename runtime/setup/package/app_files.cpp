#include "package/app_files.h"

#include <algorithm>

#include "common/upper_case.h"
#include "failures/message_failure.h"
#include "package/file_name_rules.h"
#include "package/manifest.h"

namespace plinth {
namespace {

std::uint32_t read_u32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 | std::uint32_t{bytes[at + 2]} << 16 |
           std::uint32_t{bytes[at + 3]} << 24;
}

}  // namespace

AppPathRule broken_app_path_rule(std::string_view path, std::string_view& part) {
    if (!is_valid_utf8(path)) return AppPathRule::utf8;
    // Its length in UTF-16 units, counted on the valid UTF-8: one per character, two for one
    // beyond the BMP (a four-byte sequence).
    std::size_t units = 0;
    for (const char c : path) units += ((c & 0xC0) != 0x80) + ((c & 0xF8) == 0xF0);
    if (units > kMaxAppFilePathUnits) return AppPathRule::length;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        part = path.substr(start, end - start);
        if (part.empty()) return AppPathRule::empty;
        if (!is_file_name(part)) return AppPathRule::name;
        if (part.back() == '.' || part.back() == ' ') return AppPathRule::trailing;
        if (fold_case(part).ends_with(u".OLD")) return AppPathRule::old;
        if (end == path.size()) break;
        start = end + 1;
    }
    return fold_case(path) == u"UNINSTALL.EXE" ? AppPathRule::uninstaller : AppPathRule::kept;
}

bool app_file_path_ok(std::string_view path) {
    std::string_view part;
    return broken_app_path_rule(path, part) == AppPathRule::kept;
}

std::u16string fold_case(std::string_view path) { return upper_case(to_utf16(path)); }

Result<AppFiles> read_app_files(std::span<const std::uint8_t> resource) {
    const auto unreadable = [] { return fail(Message::unreadable_package); };
    if (resource.size() < kAppFilesHeaderSize ||
        !std::equal(kAppFilesMagic.begin(), kAppFilesMagic.end(), resource.begin())) {
        return unreadable();
    }
    const std::uint32_t count = read_u32(resource, 8);
    if (count == 0 || count > kMaxAppFiles) return unreadable();

    AppFiles files(count);
    std::uint64_t streams = 0;
    std::size_t components = 0;
    std::size_t at = kAppFilesHeaderSize;
    for (AppFile& file : files) {
        if (resource.size() - at < kAppFileEntryHeaderSize) return unreadable();
        const std::size_t length = std::size_t{resource[at]} | std::size_t{resource[at + 1]} << 8;
        file.size = read_u32(resource, at + 2);
        const std::uint32_t stream = read_u32(resource, at + 6);
        // The stream's length rides in the view until the table's end, where the streams begin, is known.
        file.stream = {resource.data(), stream};
        streams += stream;
        at += kAppFileEntryHeaderSize;
        if (resource.size() - at < length || file.size > kMaxAppFileSize) return unreadable();
        file.path.assign(reinterpret_cast<const char*>(resource.data() + at), length);
        at += length;
        if (!app_file_path_ok(file.path)) return unreadable();
        components += 1 + std::count(file.path.begin(), file.path.end(), '\\');
    }
    // The streams fill the rest exactly; summed in 64 bits, where 10000 of them can't wrap.
    if (streams != resource.size() - at || components > kMaxAppFileComponents) return unreadable();
    for (AppFile& file : files) {
        const std::size_t length = file.stream.size();
        file.stream = resource.subspan(at, length);
        at += length;
    }
    return files;
}

void sort_keys(std::vector<std::u16string>& keys) {
    // A heap sort: n log n at worst, like std::sort, in a fraction of its code.
    const auto sift = [&keys](std::size_t at, std::size_t end) {
        for (std::size_t child; (child = 2 * at + 1) < end; at = child) {
            if (child + 1 < end && keys[child] < keys[child + 1]) ++child;
            if (!(keys[at] < keys[child])) return;
            keys[at].swap(keys[child]);
        }
    };
    for (std::size_t at = keys.size() / 2; at-- > 0;) sift(at, keys.size());
    for (std::size_t end = keys.size(); end-- > 1;) {
        keys[0].swap(keys[end]);
        sift(0, end);
    }
}

std::vector<std::string> paths_not_in(const std::vector<std::string>& paths, const std::vector<std::string>& kept) {
    std::vector<std::u16string> keys;
    for (const std::string& path : kept) keys.push_back(fold_case(path));
    sort_keys(keys);
    std::vector<std::string> rest;
    for (const std::string& path : paths) {
        if (!std::binary_search(keys.begin(), keys.end(), fold_case(path))) rest.push_back(path);
    }
    return rest;
}

std::string join_installed_paths(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& path : paths) {
        if (!text.empty()) text += '|';
        text += path;
    }
    return text;
}

std::optional<std::vector<std::string>> split_installed_paths(std::string_view text) {
    std::vector<std::string> paths;
    if (text.empty()) return paths;
    // Counted before anything is kept: a list far over the limit costs no more than one at it.
    if (std::count(text.begin(), text.end(), '|') >= static_cast<std::ptrdiff_t>(kMaxAppFiles)) return std::nullopt;
    std::size_t components = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(text.find('|', start), text.size());
        const std::string_view path = text.substr(start, end - start);
        if (!app_file_path_ok(path)) return std::nullopt;
        components += 1 + std::count(path.begin(), path.end(), '\\');
        paths.emplace_back(path);
        if (end == text.size()) break;
        start = end + 1;
    }
    if (components > kMaxAppFileComponents) return std::nullopt;
    return paths;
}

}  // namespace plinth
