#include "update_feed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/fake/fake_updates.h"
#include "sha256.h"
#include "updates/feed.h"

namespace plinth::pack {
namespace {

FeedEntry entry(const std::string& version, const std::string& notes = "") {
    return {version, "Notes-" + version + "-Setup.exe", 1000, std::string(64, 'b'), notes, {}, 0, {}};
}

FeedEntry with_map(FeedEntry e) {
    e.map = map_url_for(e.installer);
    e.map_size = 4242;
    e.map_sha256 = std::string(64, 'd');
    return e;
}

std::string versions_of(const std::string& feed) {
    std::string list;
    const auto read = read_feed(feed);
    for (const Release& r : read->releases) list += (list.empty() ? "" : " ") + r.version;
    return list;
}

TEST(UpdateFeed, KeepsReleasesNewestFirstAndReplacesTheSameVersion) {
    auto feed = updated_feed(std::nullopt, "com.example.notes", entry("1.9"));
    ASSERT_TRUE(feed.ok()) << feed.error().text;
    for (const char* version : {"1.10", "1.2", "1.9.0"}) {
        feed = updated_feed(*feed, "com.example.notes", entry(version, std::string("Notes of ") + version + "\n\"quoted\""));
        ASSERT_TRUE(feed.ok()) << feed.error().text;
    }
    EXPECT_EQ(versions_of(*feed), "1.10 1.9.0 1.2");  // 1.9.0 took the place of 1.9
    EXPECT_EQ(read_feed(*feed)->releases[1].notes, "Notes of 1.9.0\n\"quoted\"");
    // Reproducible: the same releases in another order of arrival give the same bytes.
    auto again = updated_feed(std::nullopt, "com.example.notes", entry("1.9.0", "Notes of 1.9.0\n\"quoted\""));
    for (const char* version : {"1.2", "1.10"}) {
        again = updated_feed(*again, "com.example.notes", entry(version, std::string("Notes of ") + version + "\n\"quoted\""));
    }
    EXPECT_EQ(*again, *feed);
    EXPECT_EQ(*updated_feed(*feed, "com.example.notes", entry("1.10", "Notes of 1.10\n\"quoted\"")), *feed);
    // Notes from a file in another encoding: the feed stays JSON that the runtime reads.
    const auto latin1 = updated_feed(*feed, "com.example.notes", entry("2.0", "Caf\xe9\f"));
    ASSERT_TRUE(latin1.ok()) << latin1.error().text;
    ASSERT_TRUE(read_feed(*latin1).ok());
    EXPECT_EQ(read_feed(*latin1)->releases[0].notes, "Caf\xef\xbf\xbd\f");
}

TEST(UpdateFeed, RefusesWhatWouldMakeABadFeed) {
    const auto feed = *updated_feed(std::nullopt, "com.example.notes", entry("1.0"));
    const struct {
        const char* label;
        std::optional<std::string> existing;
        std::string id;
        FeedEntry added;
        const char* says;
    } cases[] = {
        {"another app", feed, "com.example.other", entry("2.0"), "is the feed of \"com.example.notes\""},
        {"not a feed", std::string("{\"id\":\"com.example.notes\"}"), "com.example.notes", entry("2.0"), "isn't an update feed"},
        {"not JSON", std::string("<html>"), "com.example.notes", entry("2.0"), "isn't an update feed"},
        {"version with a suffix", std::nullopt, "com.example.notes", entry("2.0-rc1"), "isn't numbers separated by dots"},
        {"no version", std::nullopt, "com.example.notes", entry(""), "isn't numbers separated by dots"},
        {"http URL", std::nullopt, "com.example.notes", {"2.0", "http://example.com/S.exe", 1, std::string(64, 'b'), "", {}, 0, {}}, "uses http://"},
        {"notes past what an app reads", std::nullopt, "com.example.notes", entry("2.0", std::string(2 << 20, 'n')),
         "bytes, more than the 1 MiB (1048576 bytes) an installed app reads; shorten the notes"},
    };
    for (const auto& c : cases) {
        const auto result = updated_feed(c.existing, c.id, c.added);
        ASSERT_FALSE(result.ok()) << c.label;
        EXPECT_NE(result.error().text.find(c.says), std::string::npos) << c.label << ": " << result.error().text.substr(0, 300);
    }
}

TEST(UpdateFeed, TheMapLiesBesideTheInstallerAndItsKeysComeTogether) {
    EXPECT_EQ(map_url_for("Notes-1.0-Setup.exe"), "Notes-1.0-Setup.exe.map");
    EXPECT_EQ(map_url_for("https://example.com/r/v1/Setup.exe?sig=a.b&x=1#top"),
              "https://example.com/r/v1/Setup.exe.map?sig=a.b&x=1#top");
    EXPECT_EQ(map_url_for("../Setup.exe#f"), "../Setup.exe.map#f");
    const std::string feed = *updated_feed(std::nullopt, "n", with_map(entry("1.0", "x")));
    EXPECT_NE(feed.find("\"notes\": \"x\",\n      \"map\": \"Notes-1.0-Setup.exe.map\",\n      \"mapSize\": 4242,\n"
                        "      \"mapSha256\": \"" + std::string(64, 'd') + "\"\n    }"),
              std::string::npos)
        << feed;
    EXPECT_EQ(updated_feed(std::nullopt, "n", entry("1.0"))->find("map"), std::string::npos);
    // A later release added, or one withdrawn, leaves the earlier release its map.
    const std::string later = *updated_feed(feed, "n", entry("1.1"));
    EXPECT_NE(later.find("\"mapSha256\": \"" + std::string(64, 'd') + "\""), std::string::npos) << later;
    EXPECT_NE(withdrawn_feed(later, "1.1")->find("\"mapSize\": 4242"), std::string::npos);
}

FeedEntry signed_entry(const std::string& version, const std::string& signer) {
    FeedEntry e = entry(version);
    e.signer = signer;
    return e;
}

TEST(UpdateFeed, WarnsWhenTheSignerChangesOrGoesMissing) {
    auto signed_feed = updated_feed(std::nullopt, "com.example.notes", signed_entry("1.0", "CN=Old"));
    signed_feed = updated_feed(*signed_feed, "com.example.notes", signed_entry("1.1", "CN=Example"));
    ASSERT_TRUE(signed_feed.ok()) << signed_feed.error().text;
    EXPECT_EQ(read_feed(*signed_feed)->releases[0].signer, "CN=Example");  // kept through a rewrite
    const auto unsigned_feed = *updated_feed(std::nullopt, "com.example.notes", entry("1.0"));
    const struct {
        const char* label;
        std::optional<std::string> existing;
        FeedEntry added;
        const char* says;  // null: no warning
    } cases[] = {
        {"the newest one's signer", *signed_feed, signed_entry("1.2", "CN=Example"), nullptr},
        {"another signer", *signed_feed, signed_entry("1.2", "CN=Someone"),
         "the installer of 1.2 is signed by CN=Someone, and 1.1 by CN=Example: installed apps refuse"},
        {"unsigned after signed", *signed_feed, entry("1.2"),
         "the installer of 1.2 isn't signed, and earlier releases are (1.1 by CN=Example)"},
        {"the newest replaced: compared with the one before", *signed_feed, signed_entry("1.1", "CN=Old"), nullptr},
        {"the first release", std::nullopt, entry("1.0"), nullptr},
        {"signed after unsigned", unsigned_feed, signed_entry("1.1", "CN=Example"), nullptr},
        {"unsigned after unsigned", unsigned_feed, entry("1.1"), nullptr},
    };
    for (const auto& c : cases) {
        std::optional<std::string_view> existing;
        if (c.existing) existing = *c.existing;
        const auto warnings = signer_warnings(existing, c.added);
        if (c.says == nullptr) {
            EXPECT_TRUE(warnings.empty()) << c.label << ": " << (warnings.empty() ? "" : warnings[0]);
        } else {
            ASSERT_EQ(warnings.size(), 1u) << c.label;
            EXPECT_EQ(warnings[0].rfind(c.says, 0), 0u) << c.label << ": " << warnings[0];
        }
    }
}

TEST(UpdateFeed, WithdrawsAndRollsOutAReleaseItHas) {
    auto feed = updated_feed(std::nullopt, "com.example.notes", entry("1.0"));
    FeedEntry staged = entry("1.1");
    staged.rollout = 0;
    feed = updated_feed(*feed, "com.example.notes", staged);
    feed = updated_feed(*feed, "com.example.notes", entry("1.2"));
    ASSERT_TRUE(feed.ok());
    EXPECT_NE(feed->find("\"rollout\": 0\n"), std::string::npos);
    const auto withdrawn = withdrawn_feed(*feed, "1.2.0");
    ASSERT_TRUE(withdrawn.ok()) << withdrawn.error().text;
    EXPECT_EQ(versions_of(*withdrawn), "1.1 1.0");
    const auto raised = rolled_out_feed(*withdrawn, "1.1", 100);
    ASSERT_TRUE(raised.ok()) << raised.error().text;
    EXPECT_EQ(read_feed(*raised)->releases[0].rollout, 100);
    EXPECT_EQ(read_feed(*raised)->releases[0].sha256, read_feed(*feed)->releases[1].sha256);
    // The same releases, however they came, give the same bytes.
    FeedEntry full = entry("1.1");
    full.rollout = 100;
    EXPECT_EQ(*raised, *updated_feed(*updated_feed(std::nullopt, "com.example.notes", entry("1.0")), "com.example.notes", full));

    const auto missing = withdrawn_feed(*feed, "1.3");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().text, "has no release 1.3 to withdraw");
    EXPECT_EQ(rolled_out_feed(*feed, "0.9", 50).error().text, "has no release 0.9 to roll out");
    EXPECT_NE(withdrawn_feed("<html>", "1.0").error().text.find("isn't an update feed plinth can change"), std::string::npos);
}

// The largest feed an app reads is written, a byte more is refused.
TEST(UpdateFeed, AFeedIsWrittenUpToTheSizeAnAppReads) {
    const std::size_t frame = updated_feed(std::nullopt, "com.example.notes", entry("1.0", "x"))->size() - 1;
    const auto largest = updated_feed(std::nullopt, "com.example.notes", entry("1.0", std::string(kMaxFeedSize - frame, 'x')));
    ASSERT_TRUE(largest.ok()) << largest.error().text;
    EXPECT_EQ(largest->size(), kMaxFeedSize);
    EXPECT_TRUE(read_feed(*largest).ok());
    const auto over = updated_feed(std::nullopt, "com.example.notes", entry("1.0", std::string(kMaxFeedSize - frame + 1, 'x')));
    ASSERT_FALSE(over.ok());
    EXPECT_TRUE(over.error().text.starts_with("would be 1048577 bytes, more than the 1 MiB")) << over.error().text.substr(0, 200);
}

TEST(UpdateFeed, DefaultUrlIsTheFileNamePercentEncoded) {
    EXPECT_EQ(url_from_file_name("Notes-1.0_Setup~x.exe"), "Notes-1.0_Setup~x.exe");
    EXPECT_EQ(url_from_file_name("Notes Setup #1.exe"), "Notes%20Setup%20%231.exe");
    EXPECT_EQ(url_from_file_name("N\xC3\xB6tes.exe"), "N%C3%B6tes.exe");
}

TEST(UpdateFeed, Sha256IsTheStandardOne) {
    const std::string abc = "abc";
    EXPECT_EQ(sha256_hex({reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size()}, false),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256_hex({}, false), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    // The fake platform's hash takes a download in pieces, as BCrypt's does; any cut gives the same.
    for (std::size_t size : {0, 55, 56, 64, 1000, 100000}) {
        const std::string bytes(size, static_cast<char>('a' + size % 26));
        const ByteView all(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        for (std::size_t piece : {1, 7, 64, 65}) {
            Sha256State state;
            for (std::size_t at = 0; at < size; at += piece) state.add(all.subspan(at, std::min(piece, size - at)));
            EXPECT_EQ(sha256_text(state.finish()), sha256_hex(all, false)) << size << " in pieces of " << piece;
        }
        EXPECT_EQ(sha256_text(fake::sha256_of(bytes)), sha256_hex(all, false)) << size;
    }
}

// The schema in docs/ and the runtime's reader agree on the feeds of this table; python3-jsonschema
// judges the schema.
TEST(UpdateFeed, TheSchemaAndTheReaderAgree) {
    const std::string written = *updated_feed(*updated_feed(std::nullopt, "n", entry("1.0", "x")), "n", with_map(entry("2")));
    ASSERT_NE(written.find("\"mapSha256\": \"" + std::string(64, 'd') + "\""), std::string::npos) << written;
    const std::string hash = std::string(64, 'C');
    const auto release = [&](const std::string& members) { return R"({"id":"n","releases":[{)" + members + "}]}"; };
    std::vector<std::string> feeds = {
        written,
        R"({"id":"n","releases":[],"later":true})",
        release(R"("version":"1","installer":"a","size":4294967295,"sha256":")" + hash + "\""),
        R"({"releases":[]})",
        R"({"id":"","releases":[]})",
        R"({"id":"n","releases":{}})",
        release(R"("version":"1.0-beta","installer":"a","size":1,"sha256":")" + hash + "\""),
        release(R"("version":"1.","installer":"a","size":1,"sha256":")" + hash + "\""),
        release(R"("version":"1","installer":"","size":1,"sha256":")" + hash + "\""),
        release(R"("version":"1","installer":"a","size":0,"sha256":")" + hash + "\""),
        release(R"("version":"1","installer":"a","size":-5,"sha256":")" + hash + "\""),
        release(R"("version":"1","installer":"a","size":4294967296,"sha256":")" + hash + "\""),
        release(R"("version":"1","installer":"a","size":1,"sha256":")" + hash.substr(1) + "\""),
        release(R"("version":"1","installer":"a","size":1,"sha256":")" + hash.substr(1) + "x\""),
        release(R"("version":"1","installer":"a","size":1)"),
        release(R"("version":"1","installer":"a","size":1,"sha256":")" + hash + R"(","map":"a.map","mapSize":268435456,"mapSha256":")" + hash + "\""),
    };
    // Map keys that are malformed or incomplete: a feed shouldn't hold them (the schema refuses),
    // yet the release stays one the installer takes, downloading it whole.
    const std::string good = R"("version":"1","installer":"a","size":1,"sha256":")" + hash + "\"";
    const std::vector<std::string> map_faults = {
        release(good + R"(,"map":"a.map","mapSize":5)"),
        release(good + R"(,"mapSha256":")" + hash + "\""),
        release(good + R"(,"map":"","mapSize":5,"mapSha256":")" + hash + "\""),
        release(good + R"(,"map":"a.map","mapSize":0,"mapSha256":")" + hash + "\""),
        release(good + R"(,"map":"a.map","mapSize":268435457,"mapSha256":")" + hash + "\""),
        release(good + R"(,"map":"a.map","mapSize":5,"mapSha256":"x")"),
        release(good + R"(,"map":7,"mapSize":"5","mapSha256":")" + hash + "\""),
    };
    feeds.insert(feeds.end(), map_faults.begin(), map_faults.end());
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("plinth-feed-schema-" + std::to_string(std::rand()));
    std::filesystem::create_directories(folder);
    std::string command = std::string("/usr/bin/python3 '") + PLINTH_SOURCE_DIR + "/tests/unit/pack/schema_verdicts.py' '" +
                          PLINTH_SOURCE_DIR + "/docs/update-feed.schema.json'";
    for (std::size_t i = 0; i < feeds.size(); ++i) {
        const std::filesystem::path file = folder / (std::to_string(i) + ".json");
        std::ofstream(file, std::ios::binary) << feeds[i];
        command += " '" + file.string() + "'";
    }
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
        EXPECT_EQ(pclose(pipe), 0) << "the schema can't be used (python3-jsonschema missing?)";
    }
    std::filesystem::remove_all(folder);
    std::istringstream lines(output);
    for (const std::string& feed : feeds) {
        std::string verdict;
        ASSERT_TRUE(std::getline(lines, verdict)) << output;
        const auto read = read_feed(feed);
        const bool map_fault = std::find(map_faults.begin(), map_faults.end(), feed) != map_faults.end();
        if (map_fault) {
            EXPECT_NE(verdict, "valid") << feed;
            EXPECT_TRUE(read.ok() && read->releases.size() == 1) << feed;
            continue;
        }
        EXPECT_EQ(verdict == "valid", read.ok()) << feed << "\n  schema: " << verdict
                                                 << "\n  reader: " << (read.ok() ? "valid" : read.error().text);
    }
}

}  // namespace
}  // namespace plinth::pack
