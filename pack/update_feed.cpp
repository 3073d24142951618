#include "update_feed.h"

#include <algorithm>
#include <vector>

#include "package/container.h"
#include "package/version_order.h"
#include "json_string.h"
#include "pe_image.h"
#include "resource_tree.h"
#include "updates/feed.h"
#include "updates/release_url.h"

namespace plinth::pack {
namespace {

std::string feed_text(const std::string& id, const std::vector<FeedEntry>& releases) {
    std::string out = "{\n  \"id\": " + json_string(id) + ",\n  \"releases\": [";
    for (std::size_t i = 0; i < releases.size(); ++i) {
        const FeedEntry& r = releases[i];
        out += i == 0 ? "\n" : ",\n";
        out += "    {\n      \"version\": " + json_string(r.version) + ",\n      \"installer\": " + json_string(r.installer) +
               ",\n      \"size\": " + std::to_string(r.size) + ",\n      \"sha256\": " + json_string(r.sha256);
        if (!r.notes.empty()) out += ",\n      \"notes\": " + json_string(r.notes);
        if (!r.map.empty()) {
            out += ",\n      \"map\": " + json_string(r.map) + ",\n      \"mapSize\": " + std::to_string(r.map_size) +
                   ",\n      \"mapSha256\": " + json_string(r.map_sha256);
        }
        out += "\n    }";
    }
    out += releases.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

}  // namespace

Result<std::string> updated_feed(std::optional<std::string_view> existing, const std::string& id, const FeedEntry& entry) {
    if (!is_comparable_version(entry.version)) {
        return fail("the installer's version \"" + entry.version +
                    "\" isn't numbers separated by dots, such as \"1.4.2\", so updates can't compare it");
    }
    // Any https feed URL will do: the installer's URL must resolve to one updates may come from.
    if (auto resolved = resolve_installer_url("https://example.com/feed.json", entry.installer); !resolved) {
        return fail("--url " + json_string(entry.installer) + ": " + resolved.error().text);
    }
    std::vector<FeedEntry> releases;
    if (existing) {
        auto feed = read_feed(*existing);
        if (!feed) return fail("isn't an update feed plinth can add to: " + feed.error().text);
        if (feed->id != id) {
            return fail("is the feed of \"" + feed->id + "\", and the installer is of \"" + id + "\"");
        }
        for (const Release& r : feed->releases) {
            releases.push_back({r.version, r.installer, r.size, sha256_text(r.sha256), r.notes, {}, 0, {}});
        }
    }
    std::erase_if(releases, [&](const FeedEntry& r) { return compare_versions(r.version, entry.version) == 0; });
    releases.push_back(entry);
    std::stable_sort(releases.begin(), releases.end(), [](const FeedEntry& a, const FeedEntry& b) {
        return compare_versions(a.version, b.version).value_or(0) > 0;
    });
    return feed_text(id, releases);
}

std::string map_url_for(std::string_view installer_url) {
    const std::size_t path_end = std::min(installer_url.find_first_of("?#"), installer_url.size());
    std::string url(installer_url.substr(0, path_end));
    url += ".map";
    url += installer_url.substr(path_end);
    return url;
}

std::string url_from_file_name(std::string_view name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string url;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~';
        if (plain) {
            url += c;
        } else {
            url += '%';
            url += hex[byte >> 4];
            url += hex[byte & 15];
        }
    }
    return url;
}

}  // namespace plinth::pack
