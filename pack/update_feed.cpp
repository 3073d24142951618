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

// The optional keys of a release that manage it: who signed it and who is offered it.
std::string release_extras_text(const FeedEntry& r) {
    std::string out;
    if (!r.signer.empty()) out += ",\n      \"signer\": " + json_string(r.signer);
    if (r.rollout) out += ",\n      \"rollout\": " + std::to_string(*r.rollout);
    if (!r.map.empty()) {
        out += ",\n      \"map\": " + json_string(r.map) + ",\n      \"mapSize\": " + std::to_string(r.map_size) +
               ",\n      \"mapSha256\": " + json_string(r.map_sha256);
    }
    return out;
}

// The feed's text, the releases newest first.
std::string feed_text(const std::string& id, std::vector<FeedEntry> releases) {
    std::stable_sort(releases.begin(), releases.end(), [](const FeedEntry& a, const FeedEntry& b) {
        return compare_versions(a.version, b.version).value_or(0) > 0;
    });
    std::string out = "{\n  \"id\": " + json_string(id) + ",\n  \"releases\": [";
    for (std::size_t i = 0; i < releases.size(); ++i) {
        const FeedEntry& r = releases[i];
        out += i == 0 ? "\n" : ",\n";
        out += "    {\n      \"version\": " + json_string(r.version) + ",\n      \"installer\": " + json_string(r.installer) +
               ",\n      \"size\": " + std::to_string(r.size) + ",\n      \"sha256\": " + json_string(r.sha256);
        if (!r.notes.empty()) out += ",\n      \"notes\": " + json_string(r.notes);
        out += release_extras_text(r);
        out += "\n    }";
    }
    out += releases.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

FeedEntry entry_of(const Release& r) {
    FeedEntry entry{r.version, r.installer, r.size, sha256_text(r.sha256), r.notes};
    entry.signer = r.signer;
    if (r.rollout) entry.rollout = static_cast<int>(*r.rollout);
    // An earlier release keeps its map through every later change of the feed.
    if (r.map) {
        entry.map = r.map->url;
        entry.map_size = r.map->size;
        entry.map_sha256 = sha256_text(r.map->sha256);
    }
    return entry;
}

// The existing feed read for a change, or why it can't be.
Result<Feed> feed_to_change(std::string_view existing) {
    auto feed = read_feed(existing);
    if (!feed) return fail("isn't an update feed plinth can change: " + feed.error().text);
    return feed;
}

// The release of `version` in the feed, or its count when there is none.
std::size_t release_index(const Feed& feed, const std::string& version) {
    for (std::size_t i = 0; i < feed.releases.size(); ++i) {
        if (compare_versions(feed.releases[i].version, version) == 0) return i;
    }
    return feed.releases.size();
}

std::string feed_text_of(const Feed& feed) {
    std::vector<FeedEntry> releases;
    for (const Release& r : feed.releases) releases.push_back(entry_of(r));
    return feed_text(feed.id, releases);
}

}  // namespace

std::vector<std::string> signer_warnings(std::optional<std::string_view> existing, const FeedEntry& entry) {
    if (!existing) return {};
    auto feed = read_feed(*existing);
    if (!feed) return {};
    // The newest release other than the one replaced.
    const Release* newest = nullptr;
    bool any_signed = false;
    for (const Release& r : feed->releases) {
        if (compare_versions(r.version, entry.version) == 0) continue;
        any_signed = any_signed || !r.signer.empty();
        if (newest == nullptr || compare_versions(r.version, newest->version).value_or(0) > 0) newest = &r;
    }
    if (newest == nullptr) return {};
    if (entry.signer.empty() && any_signed) {
        return {"the installer of " + entry.version + " isn't signed, and earlier releases are" +
                (newest->signer.empty() ? "" : " (" + newest->version + " by " + newest->signer + ")") +
                ": installed apps that are signed refuse an unsigned update"};
    }
    if (!entry.signer.empty() && !newest->signer.empty() && entry.signer != newest->signer) {
        return {"the installer of " + entry.version + " is signed by " + entry.signer + ", and " + newest->version +
                " by " + newest->signer + ": installed apps refuse an update from another signer"};
    }
    return {};
}

Result<std::string> withdrawn_feed(std::string_view existing, const std::string& version) {
    auto feed = feed_to_change(existing);
    if (!feed) return fail(feed.error().text);
    const std::size_t index = release_index(*feed, version);
    if (index == feed->releases.size()) return fail("has no release " + version + " to withdraw");
    feed->releases.erase(feed->releases.begin() + static_cast<std::ptrdiff_t>(index));
    return feed_text_of(*feed);
}

Result<std::string> rolled_out_feed(std::string_view existing, const std::string& version, int percent) {
    auto feed = feed_to_change(existing);
    if (!feed) return fail(feed.error().text);
    const std::size_t index = release_index(*feed, version);
    if (index == feed->releases.size()) return fail("has no release " + version + " to roll out");
    feed->releases[index].rollout = static_cast<std::uint8_t>(percent);
    return feed_text_of(*feed);
}

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
        for (const Release& r : feed->releases) releases.push_back(entry_of(r));
    }
    std::erase_if(releases, [&](const FeedEntry& r) { return compare_versions(r.version, entry.version) == 0; });
    releases.push_back(entry);
    // Every installed app refuses a larger feed: it would never see this release, nor any later.
    std::string text = feed_text(id, std::move(releases));
    if (text.size() > kMaxFeedSize) {
        return fail("would be " + decimal_text(text.size()) + " bytes, more than the 1 MiB (" + decimal_text(kMaxFeedSize) +
                    " bytes) an installed app reads; shorten the notes, or take old releases out of it");
    }
    return text;
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
