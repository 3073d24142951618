#include "updates/feed.h"

#include <utility>

#include "common/text.h"
#include "package/strict_json.h"
#include "package/version_order.h"
#include "updates/installer_map.h"
#include "updates/sentence.h"

namespace plinth {
namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";

std::optional<platform::Sha256> parse_sha256(std::string_view text) {
    if (text.size() != 64) return std::nullopt;
    platform::Sha256 hash{};
    for (std::size_t i = 0; i < hash.size(); ++i) {
        const int high = hex_value(text[2 * i]);
        const int low = hex_value(text[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        hash[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return hash;
}

const std::string* string_member(const JsonValue& object, std::string_view key) {
    const JsonValue* value = object.find(key);
    return value != nullptr && value->is_string() ? &value->text : nullptr;
}

[[gnu::noinline]] Status release_problem(std::size_t index, std::string_view what) {
    return fail_with("The update feed's release % %.", {decimal_text(index + 1), what});
}

// The optional keys that manage a release: its signer and its rollout.
Status read_release_management(const JsonValue& element, std::size_t index, Release& release) {
    if (const std::string* signer = string_member(element, "signer")) release.signer = *signer;
    if (const JsonValue* rollout = element.find("rollout")) {
        if (!rollout->is_unsigned_integer() || rollout->integer > 100) {
            return release_problem(index, "has a \"rollout\" that isn't a percentage from 0 to 100");
        }
        release.rollout = static_cast<std::uint8_t>(rollout->integer);
    }
    return success();
}

std::optional<ReleaseMap> read_release_map(const JsonValue& element) {
    const std::string* url = string_member(element, "map");
    const JsonValue* size = element.find("mapSize");
    const std::string* sha256 = string_member(element, "mapSha256");
    if (url == nullptr || url->empty() || size == nullptr || !size->is_unsigned_integer() || size->integer == 0 ||
        size->integer > kMaxMapSize || sha256 == nullptr)
        return std::nullopt;
    const auto hash = parse_sha256(*sha256);
    if (!hash) return std::nullopt;
    return ReleaseMap{*url, size->integer, *hash};
}

Status read_release(const JsonValue& element, std::size_t index, Release& release) {
    if (!element.is_object()) return release_problem(index, "isn't an object");
    const std::string* version = string_member(element, "version");
    if (version == nullptr || !is_comparable_version(*version)) {
        return release_problem(index, "has no \"version\" of numbers separated by dots");
    }
    release.version = *version;
    const std::string* installer = string_member(element, "installer");
    if (installer == nullptr || installer->empty()) return release_problem(index, "has no \"installer\" URL");
    release.installer = *installer;
    const JsonValue* size = element.find("size");
    if (size == nullptr || !size->is_unsigned_integer() || size->integer == 0 || size->integer > kMaxInstallerSize) {
        static_assert(kMaxInstallerSize == 4'294'967'295u, "the text names the bound");
        return release_problem(index, "has no \"size\" from 1 to 4294967295 bytes");
    }
    release.size = size->integer;
    const std::string* sha256 = string_member(element, "sha256");
    const auto hash = sha256 != nullptr ? parse_sha256(*sha256) : std::nullopt;
    if (!hash) return release_problem(index, "has no \"sha256\" of 64 hex digits");
    release.sha256 = *hash;
    if (const std::string* notes = string_member(element, "notes")) release.notes = *notes;
    release.map = read_release_map(element);
    return read_release_management(element, index, release);
}

}  // namespace

Result<Feed> read_feed(std::string_view json) {
    if (json.size() > kMaxFeedSize) return fail("The update feed is larger than 1 MiB.");
    auto parsed = parse_strict_json(json);
    if (!parsed) return fail_with("The update feed isn't valid JSON (%).", {parsed.error()});
    const JsonValue& root = *parsed;
    if (!root.is_object()) return fail("The update feed isn't a JSON object.");
    Feed feed;
    const std::string* id = string_member(root, "id");
    if (id == nullptr || id->empty()) return fail("The update feed has no \"id\".");
    feed.id = *id;
    const JsonValue* releases = root.find("releases");
    if (releases == nullptr || !releases->is_array()) return fail("The update feed has no \"releases\" array.");
    // Filled in place: no release is moved or copied on the way.
    feed.releases.resize(releases->elements.size());
    for (std::size_t i = 0; i < releases->elements.size(); ++i) {
        if (Status read = read_release(releases->elements[i], i, feed.releases[i]); !read) return read;
    }
    return feed;
}

Result<std::size_t> newest_update(const Feed& feed, std::string_view app_id, std::string_view installed_version,
                                  std::optional<std::uint32_t> bucket) {
    if (feed.id != app_id) {
        return fail_with("The update feed is for another app (\"%\", not \"%\").", {feed.id, app_id});
    }
    if (!is_comparable_version(installed_version)) {
        return fail_with(
            "The installed version \"%\" isn't numbers separated by dots, so no update can be compared with it.",
            {installed_version});
    }
    const std::size_t none = feed.releases.size();
    std::size_t newest = none;
    for (std::size_t i = 0; i < none; ++i) {
        const std::string& version = feed.releases[i].version;
        if (compare_versions(version, installed_version).value_or(0) <= 0 || !offered_to(feed.releases[i], bucket)) continue;
        if (newest == none || compare_versions(version, feed.releases[newest].version).value_or(0) > 0) newest = i;
    }
    return newest;
}

bool offered_to(const Release& release, std::optional<std::uint32_t> bucket) {
    if (!release.rollout || *release.rollout >= 100) return true;
    return bucket && *bucket < *release.rollout;
}

std::uint32_t rollout_bucket(std::uint32_t install_number) { return install_number % 100; }

std::string sha256_text(const platform::Sha256& hash) {
    std::string text;
    for (std::uint8_t byte : hash) {
        text += kHexDigits[byte >> 4];
        text += kHexDigits[byte & 15];
    }
    return text;
}

}  // namespace plinth
