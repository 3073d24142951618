#include "updates/feed.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace plinth {
namespace {

const std::string kHash = std::string(64, 'a');

std::string release(const std::string& version, const std::string& members = "") {
    return R"({"version":")" + version + R"(","installer":"Setup-)" + version + R"(.exe","size":10,"sha256":")" + kHash +
           "\"" + (members.empty() ? "" : "," + members) + "}";
}

std::string feed(const std::string& releases, const std::string& id = "com.example.notes") {
    return R"({"id":")" + id + R"(","releases":[)" + releases + "]}";
}

TEST(Feed, RefusesWhatCantBeAFeed) {
    const struct {
        const char* label;
        std::string json;
        const char* says;
    } cases[] = {
        {"syntax", R"({"id":"x","releases":[})", "isn't valid JSON"},
        {"trailing comma", feed(release("2") + ","), "isn't valid JSON"},
        {"array", "[]", "isn't a JSON object"},
        {"no id", R"({"releases":[]})", "no \"id\""},
        {"empty id", feed("", ""), "no \"id\""},
        {"releases an object", R"({"id":"x","releases":{}})", "no \"releases\" array"},
        {"release a string", feed("\"2.0\""), "release 1 isn't an object"},
        {"version missing", feed(R"({"installer":"a","size":1,"sha256":")" + kHash + "\"}"), "release 1 has no \"version\""},
        {"version with a suffix", feed(release("2") + "," + release("3.0-beta")), "release 2 has no \"version\""},
        {"version a number", feed(R"({"version":2,"installer":"a","size":1,"sha256":")" + kHash + "\"}"), "no \"version\""},
        {"installer empty", feed(R"({"version":"2","installer":"","size":1,"sha256":")" + kHash + "\"}"), "no \"installer\""},
        {"size negative", feed(R"({"version":"2","installer":"a","size":-1,"sha256":")" + kHash + "\"}"), "no \"size\""},
        {"size zero", feed(R"({"version":"2","installer":"a","size":0,"sha256":")" + kHash + "\"}"), "no \"size\""},
        {"size 4 GiB", feed(R"({"version":"2","installer":"a","size":4294967296,"sha256":")" + kHash + "\"}"), "no \"size\""},
        {"size huge", feed(R"({"version":"2","installer":"a","size":1e300,"sha256":")" + kHash + "\"}"), "no \"size\""},
        {"size fractional", feed(R"({"version":"2","installer":"a","size":1.5,"sha256":")" + kHash + "\"}"), "no \"size\""},
        {"size a string", feed(R"({"version":"2","installer":"a","size":"10","sha256":")" + kHash + "\"}"), "no \"size\""},
        {"hash short", feed(R"({"version":"2","installer":"a","size":1,"sha256":")" + kHash.substr(1) + "\"}"), "no \"sha256\""},
        {"hash not hex", feed(R"({"version":"2","installer":"a","size":1,"sha256":")" + kHash.substr(1) + "g\"}"), "no \"sha256\""},
        {"hash missing", feed(R"({"version":"2","installer":"a","size":1})"), "no \"sha256\""},
        {"rollout over 100", feed(release("2", R"("rollout":101)")), "release 1 has a \"rollout\" that isn't a percentage"},
        {"rollout negative", feed(release("2", R"("rollout":-1)")), "isn't a percentage from 0 to 100"},
        {"rollout fractional", feed(release("2", R"("rollout":50.5)")), "isn't a percentage from 0 to 100"},
        {"rollout a string", feed(release("2", R"("rollout":"50")")), "isn't a percentage from 0 to 100"},
        {"over 1 MiB", feed(release("2", "\"notes\":\"" + std::string(kMaxFeedSize, 'x') + "\"")), "larger than 1 MiB"},
    };
    for (const auto& c : cases) {
        const auto read = read_feed(c.json);
        ASSERT_FALSE(read.ok()) << c.label;
        EXPECT_NE(read.error().text.find(c.says), std::string::npos) << c.label << ": " << read.error().text;
    }
}

TEST(Feed, ReadsReleasesAndIgnoresUnknownKeys) {
    const auto read = read_feed(feed(release("2.0", R"("notes":"Faster.","channel":"beta")")) + "\n");
    ASSERT_TRUE(read.ok()) << read.error().text;
    ASSERT_EQ(read->releases.size(), 1u);
    EXPECT_EQ(read->releases[0].notes, "Faster.");
    EXPECT_EQ(read->releases[0].size, 10u);
    EXPECT_EQ(sha256_text(read->releases[0].sha256), kHash);
    // Upper-case hex is the same hash.
    const auto upper = read_feed(feed(R"({"version":"2","installer":"a","size":4294967295,"sha256":")" +
                                      std::string(64, 'A') + "\"}"));
    ASSERT_TRUE(upper.ok()) << upper.error().text;
    EXPECT_EQ(upper->releases[0].sha256, read->releases[0].sha256);
}

TEST(Feed, ReadsAMapOnlyWhenAllItsKeysAreValid) {
    const std::string map = R"("map":"Setup-2.exe.map","mapSize":4321,"mapSha256":")" + std::string(64, 'b') + "\"";
    const auto with = read_feed(feed(release("2", map)));
    ASSERT_TRUE(with.ok()) << with.error().text;
    ASSERT_TRUE(with->releases[0].map.has_value());
    EXPECT_EQ(with->releases[0].map->url, "Setup-2.exe.map");
    EXPECT_EQ(with->releases[0].map->size, 4321u);
    EXPECT_EQ(sha256_text(with->releases[0].map->sha256), std::string(64, 'b'));
    // Any damage leaves a valid release without a map.
    const std::string hash = std::string(64, 'b');
    for (const std::string& damaged : std::vector<std::string>{
             R"("map":"a.map","mapSize":4321)",
             R"("map":"a.map","mapSha256":")" + hash + "\"",
             R"("mapSize":4321,"mapSha256":")" + hash + "\"",
             R"("map":"","mapSize":4321,"mapSha256":")" + hash + "\"",
             R"("map":7,"mapSize":4321,"mapSha256":")" + hash + "\"",
             R"("map":"a.map","mapSize":0,"mapSha256":")" + hash + "\"",
             R"("map":"a.map","mapSize":268435457,"mapSha256":")" + hash + "\"",
             R"("map":"a.map","mapSize":"4321","mapSha256":")" + hash + "\"",
             R"("map":"a.map","mapSize":4321,"mapSha256":")" + hash.substr(2) + "\"",
             R"("map":"a.map","mapSize":4321,"mapSha256":")" + hash.substr(1) + "x\"",
         }) {
        const auto read = read_feed(feed(release("2", damaged)));
        ASSERT_TRUE(read.ok()) << damaged << ": " << read.error().text;
        EXPECT_FALSE(read->releases[0].map.has_value()) << damaged;
    }
}

TEST(Feed, ChoosesTheNewestNewerReleaseOnly) {
    const Feed releases = *read_feed(feed(release("1.9") + "," + release("1.10") + "," + release("1.2.1") + "," + release("1.2")));
    const struct {
        const char* installed;
        const char* chosen;  // null: none
    } cases[] = {
        {"1.2", "1.10"}, {"1.9.9", "1.10"}, {"1.10", nullptr}, {"1.10.0", nullptr}, {"2", nullptr}, {"0", "1.10"},
    };
    // The chosen release's index; none is the count of releases.
    for (const auto& c : cases) {
        const auto chosen = newest_update(releases, "com.example.notes", c.installed);
        ASSERT_TRUE(chosen.ok()) << c.installed << ": " << chosen.error().text;
        if (c.chosen == nullptr) {
            EXPECT_EQ(*chosen, releases.releases.size()) << c.installed;
        } else {
            ASSERT_LT(*chosen, releases.releases.size()) << c.installed;
            EXPECT_EQ(releases.releases[*chosen].version, c.chosen) << c.installed;
        }
    }
    EXPECT_EQ(*newest_update(*read_feed(feed("")), "com.example.notes", "1"), 0u);

    const auto other = newest_update(releases, "com.example.Notes", "1.0");
    ASSERT_FALSE(other.ok());
    EXPECT_EQ(other.error().text, "The update feed is for another app (\"com.example.notes\", not \"com.example.Notes\").");
    const auto uncomparable = newest_update(releases, "com.example.notes", "1.0-beta");
    ASSERT_FALSE(uncomparable.ok());
    EXPECT_NE(uncomparable.error().text.find("\"1.0-beta\" isn't numbers"), std::string::npos);
}

TEST(Feed, AStagedReleaseIsOfferedToTheInstallsInsideItsPercentage) {
    // 1.3 to 30 % of installs, 1.2 to every one, 1.4 to none yet.
    const Feed staged = *read_feed(feed(release("1.4", R"("rollout":0)") + "," + release("1.3", R"("rollout":30)") + "," +
                                        release("1.2", R"("rollout":100,"signer":"CN=Example")") + "," + release("1.1")));
    EXPECT_EQ(staged.releases[2].signer, "CN=Example");
    const struct {
        std::optional<std::uint32_t> bucket;
        const char* chosen;
    } cases[] = {
        {0u, "1.3"}, {29u, "1.3"}, {30u, "1.2"}, {99u, "1.2"},
        {std::nullopt, "1.2"},  // an install without its number takes staged releases at 100 only
    };
    for (const auto& c : cases) {
        const auto chosen = newest_update(staged, "com.example.notes", "1.0", c.bucket);
        ASSERT_TRUE(chosen.ok()) << chosen.error().text;
        ASSERT_LT(*chosen, staged.releases.size());
        EXPECT_EQ(staged.releases[*chosen].version, c.chosen) << (c.bucket ? std::to_string(*c.bucket) : "none");
    }
    // The bucket is the number's own: the same number, the same bucket; raising a percentage
    // keeps every install it had.
    EXPECT_EQ(rollout_bucket(0), 0u);
    EXPECT_EQ(rollout_bucket(4'294'967'295u), 95u);
    EXPECT_EQ(rollout_bucket(1234), 34u);
    Release release_at;
    for (std::uint8_t percent : {0, 1, 50, 99}) {
        release_at.rollout = percent;
        EXPECT_FALSE(offered_to(release_at, percent)) << int{percent};
        if (percent > 0) EXPECT_TRUE(offered_to(release_at, percent - 1u)) << int{percent};
    }
}

}  // namespace
}  // namespace plinth
