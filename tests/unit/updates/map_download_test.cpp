// The update through a release's map, on the fake: the base is the running uninstall.exe, a
// PE image whose sections are its regions; the scripted server honours, ignores, refuses, cuts
// short or redirects the range requests. Whatever it does, the installer run is exactly v2.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/sha256.h"
#include "entry/run.h"
#include "package/container.h"
#include "package/installer_regions.h"
#include "installer_map.h"
#include "pack/hostile_pe.h"
#include "pack/synthetic_pe.h"
#include "platform/fake/fake_platform.h"
#include "updates/feed.h"
#include "updates/installer_map.h"

namespace plinth {
namespace {


const std::u16string kKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\org.notes";
const std::string kFeedUrl = "https://example.com/notes/feed.json";
const std::string kInstallerUrl = "https://example.com/notes/Notes-2.0-Setup.exe";
const std::string kMapUrl = "https://example.com/notes/Notes-2.0-Setup.exe.map";
const std::string kSignedUrl = "https://objects.example.net/Notes-2.0-Setup.exe?signature=1";
const Path kTemp = u"C:\\Users\\Ann\\AppData\\Local\\Temp";
const Path kUninstaller = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes\\uninstall.exe";
const Path kLog = u"C:\\Users\\Ann\\update.log";
constexpr std::uint32_t kSection = 0x10000;

// 64 KiB of bytes made from `seed`.
std::string blob(char seed) {
    std::string data(kSection, '\0');
    std::uint32_t state = static_cast<std::uint8_t>(seed) * 2654435761u;
    for (char& byte : data) byte = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
    return data;
}

// An installer as the packer makes one, its package of this version in RCDATA 1, and a 64 KiB
// resource for each seed beside it.
std::string installer(const std::string& seeds, const std::string& version) {
    pack::ResourceTree tree = pack::testing::plain_stub_tree();
    tree.set(pack::ResourceName::number(pack::kTypeRcData), pack::ResourceName::number(1), 0,
             build_package(R"({"name":"Notes","id":"org.notes","version":")" + version + R"(","exe":"notes.exe"})", {}));
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        const std::string data = blob(seeds[i]);
        tree.set(pack::ResourceName::number(pack::kTypeRcData), pack::ResourceName::number(100 + i), 0,
                 pack::Bytes(data.begin(), data.end()));
    }
    const pack::Bytes file = pack::testing::build_stub(tree);
    return std::string(file.begin(), file.end());
}

void put(std::string& bytes, std::uint64_t value, int count) {
    for (int i = 0; i < count; ++i) bytes += static_cast<char>(value >> (8 * i));
}

std::span<const std::uint8_t> span_of(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The map of `file` as its publisher writes it, each region's hash taken from `hashed`
// (`file` itself, unless a test makes the map lie).
std::string map_of(const std::string& file, const std::string& hashed) {
    std::string map("PLNMAP\0\2", 8);
    put(map, file.size(), 8);
    const auto whole = sha256(span_of(file));
    map.append(whole.begin(), whole.end());
    const auto regions = installer_regions(span_of(file));
    put(map, regions.size(), 4);
    for (const Region& region : regions) {
        for (std::uint64_t size = region.size; size != 0; size >>= 7) map += static_cast<char>((size & 0x7F) | (size >= 0x80 ? 0x80 : 0));
        const auto hash = sha256(span_of(hashed).subspan(region.offset, region.size));
        map.append(hash.begin(), hash.begin() + kRegionHashSize);
    }
    return map;
}

// Where the 64 KiB made from `seed` lies in `file`.
std::uint64_t offset_of(const std::string& file, char seed) { return file.find(blob(seed)); }

// Whether one of the ranges asked covers the 64 KiB made from `seed`.
bool fetched(const std::vector<fake::RangeAsked>& asked, const std::string& file, char seed) {
    const std::uint64_t at = offset_of(file, seed);
    for (const auto& range : asked) {
        if (range.first <= at && at + kSection - 1 <= range.last) return true;
    }
    return false;
}

std::uint64_t bytes_asked(const std::vector<fake::RangeAsked>& asked) {
    std::uint64_t total = 0;
    for (const auto& range : asked) total += range.last - range.first + 1;
    return total;
}

// v1 installed from installer "abcdefgh"; the feed offers v2, "abXdefgh", with its map.
struct Scene {
    Scene() : v1(installer("abcdefgh", "1.0")), v2(installer("abXdefgh", "2.0")) {
        fake.module.package = build_package(
            R"({"name":"Notes","id":"org.notes","version":"1.0","exe":"notes.exe","updates":{"feed":")" + kFeedUrl + "\"}}", {});
        fake.module.path = kUninstaller;
        fake.files.add_file(kUninstaller, v1);
        fake.registry.put_text(kKey, u"DisplayVersion", "1.0");
        fake.shell.set_environment(u"TEMP", kTemp);
        fake.files.add_folder(kTemp);
        fake.files.add_folder(u"C:\\Users\\Ann");
        fake.network.served[kInstallerUrl].body = v2;
        serve_map(map_of(v2, v2));
        fake.processes.on_run = [this](const platform::ProcessStart& start) {
            installer_seen = fake.files.text(*start.application).value_or("(missing)");
            fake.registry.put_text(kKey, u"DisplayVersion", "2.0");
            return 0u;
        };
    }

    // Serves the map and a feed that describes it.
    void serve_map(const std::string& map, std::string name = "Notes-2.0-Setup.exe.map") {
        fake.network.served[kMapUrl].body = map;
        fake.network.served[kFeedUrl].body =
            R"({"id":"org.notes","releases":[{"version":"2.0","installer":"Notes-2.0-Setup.exe","size":)" +
            std::to_string(v2.size()) + R"(,"sha256":")" + sha256_text(fake::sha256_of(v2)) + R"(","map":")" + name +
            R"(","mapSize":)" + std::to_string(map.size()) + R"(,"mapSha256":")" + sha256_text(fake::sha256_of(map)) + "\"}]}";
    }

    int update() {
        fake.session.command_line = {kUninstaller, u"/update", u"/S", u"/log=" + kLog};
        return run_setup(fake.platform());
    }

    std::string log() const { return fake.files.text(kLog).value_or(""); }

    // How many whole GETs of the installer there were.
    std::size_t whole_downloads() const {
        std::size_t count = 0;
        for (const std::string& url : fake.network.requests) count += url == kInstallerUrl;
        return count - ranges_of(kInstallerUrl);
    }
    std::size_t ranges_of(const std::string& url) const {
        std::size_t count = 0;
        for (const auto& asked : fake.network.ranges_asked) count += asked.url == url;
        return count;
    }

    fake::FakePlatform fake;
    std::string v1;
    std::string v2;
    std::string installer_seen;
};

class MapDownload : public testing::Test, public Scene {};

TEST_F(MapDownload, FetchesOnlyTheChangedSectionAndRunsExactlyTheNewInstaller) {
    // The map served is the one the packer writes.
    const auto written = pack::installer_map(span_of(v2));
    ASSERT_TRUE(written.ok()) << written.error().text;
    EXPECT_EQ(std::string(written->begin(), written->end()), fake.network.served[kMapUrl].body);
    ASSERT_EQ(update(), 0) << fake.session.standard_error;
    EXPECT_EQ(installer_seen, v2);
    // X, and the few small regions that carry the version (headers, directory, package).
    EXPECT_TRUE(fetched(fake.network.ranges_asked, v2, 'X'));
    EXPECT_LT(bytes_asked(fake.network.ranges_asked), kSection + 8192);
    EXPECT_EQ(whole_downloads(), 0u);
    const std::string map = fake.network.served[kMapUrl].body;
    const std::uint64_t asked = bytes_asked(fake.network.ranges_asked);
    EXPECT_NE(log().find(concat({"Update assembled: reused ", decimal_text(v2.size() - asked), " bytes, fetched ",
                                 decimal_text(asked + map.size()), " bytes (the map's ", decimal_text(map.size()),
                                 " included) in ", decimal_text(fake.network.ranges_asked.size() + 1), " requests"})),
              std::string::npos)
        << log();
    EXPECT_TRUE(fake.files.list_tree(kTemp).empty());
}

TEST_F(MapDownload, EveryFailureOfTheMapOrTheRangesFallsBackToOneWholeDownload) {
    const struct {
        const char* label;
        std::function<void(Scene&)> arrange;
        const char* logged;
        std::size_t ranges;  // range requests made before falling back
    } cases[] = {
        {"map missing", [](Scene& t) { t.fake.network.served[kMapUrl].refusal = platform::DownloadFailure{platform::DownloadFailure::Kind::status, 404}; },
         "its map can't be downloaded", 0},
        {"map damaged", [](Scene& t) { t.fake.network.served[kMapUrl].body[60] ^= 1; }, "isn't the one the feed describes", 0},
        {"map cut short", [](Scene& t) { t.fake.network.served[kMapUrl].cut_after = 40; }, "its map can't be downloaded", 0},
        {"map of another size", [](Scene& t) { t.fake.network.served[kMapUrl].body += "x"; }, "isn't the size the feed gives", 0},
        {"not a map", [](Scene& t) { t.serve_map("PLNMAP\1\1 and more"); }, "isn't a map", 0},
        {"a map of another format",
         [](Scene& t) {
             std::string map = map_of(t.v2, t.v2);
             map[7] = 1;
             t.serve_map(map);
         },
         "isn't a map", 0},
        {"map of another installer", [](Scene& t) { t.serve_map(map_of(t.v1, t.v1)); }, "describes another installer", 0},
        {"map URL leaves https", [](Scene& t) { t.serve_map(map_of(t.v2, t.v2), "http://example.com/a.map"); },
         "Ignoring the release's map", 0},
        {"ranges refused (416)",
         [](Scene& t) { t.fake.network.served[kInstallerUrl].ranges = fake::Served::Ranges::refused; },
         "didn't answer a range request (status 416)", 1},
        {"ranges refused (501)",
         [](Scene& t) {
             t.fake.network.served[kInstallerUrl].ranges = fake::Served::Ranges::refused;
             t.fake.network.served[kInstallerUrl].refused_with = 501;
         },
         "(status 501)", 1},
        {"range cut short", [](Scene& t) { t.fake.network.served[kInstallerUrl].ranges = fake::Served::Ranges::cut_short; },
         "cut a range short", 1},
        // The headers' range starts at 0, where the server's wrong answer is right: the next isn't.
        {"another range sent", [](Scene& t) { t.fake.network.served[kInstallerUrl].ranges = fake::Served::Ranges::misplaced; },
         "with another range", 2},
        {"nothing in common", [](Scene& t) { t.fake.files.add_file(kUninstaller, std::string(5000, 'x')); },
         "too little in common", 0},
        {"own file gone", [](Scene& t) { (void)t.fake.files.delete_file(kUninstaller); }, "own file can't be read", 0},
        {"own file held by another program",
         [](Scene& t) { t.fake.faults.fail_on_path("files.hold", kUninstaller, 32); }, "own file can't be read", 0},
        {"map whose hashes lie", [](Scene& t) { t.serve_map(map_of(t.v2, t.v1)); }, "isn't the release the feed describes", 0},
    };
    for (const auto& c : cases) {
        Scene t;
        c.arrange(t);
        ASSERT_EQ(t.update(), 0) << c.label << ": " << t.fake.session.standard_error;
        EXPECT_EQ(t.installer_seen, t.v2) << c.label;
        EXPECT_EQ(t.whole_downloads(), 1u) << c.label;
        EXPECT_EQ(t.fake.network.ranges_asked.size(), c.ranges) << c.label;
        EXPECT_NE(t.log().find(c.logged), std::string::npos) << c.label << ": " << t.log();
        EXPECT_TRUE(t.fake.files.list_tree(kTemp).empty()) << c.label;
    }
}

TEST_F(MapDownload, AServerIgnoringRangesSendsTheOneDownload) {
    fake.network.served[kInstallerUrl].ranges = fake::Served::Ranges::ignored;
    ASSERT_EQ(update(), 0) << fake.session.standard_error;
    EXPECT_EQ(installer_seen, v2);
    EXPECT_EQ(fake.network.ranges_asked.size(), 1u);
    EXPECT_EQ(whole_downloads(), 0u);
    EXPECT_NE(log().find("the server ignores range requests"), std::string::npos) << log();
}

TEST_F(MapDownload, ADamagedBaseCostsOnlyDownloads) {
    std::string damaged = v1;
    damaged[offset_of(v1, 'a') + 100] ^= 0x20;
    damaged[offset_of(v1, 'e') + 7] ^= 0x01;
    fake.files.add_file(kUninstaller, damaged);
    ASSERT_EQ(update(), 0) << fake.session.standard_error;
    EXPECT_EQ(installer_seen, v2);
    for (char seed : {'a', 'X', 'e'}) EXPECT_TRUE(fetched(fake.network.ranges_asked, v2, seed)) << seed;
    EXPECT_FALSE(fetched(fake.network.ranges_asked, v2, 'g'));
    EXPECT_EQ(whole_downloads(), 0u);
}

TEST_F(MapDownload, RedirectsAreFollowedAndAnExpiredSignedUrlIsAskedForAgain) {
    // Sections a and X changed: two ranges. The installer's URL redirects each request to a new
    // signed URL; the first expires after one answer, so the second range, asked there first,
    // is asked again of the installer's URL.
    const std::string second = kSignedUrl + "2";
    v2 = installer("zbXdefgh", "2.0");
    fake.network.served[kInstallerUrl].body = v2;
    fake.network.served[kInstallerUrl].redirects_in_turn = {kSignedUrl, second};
    fake.network.served[kSignedUrl].body = v2;
    fake.network.served[kSignedUrl].expires_after = 1;
    fake.network.served[second].body = v2;
    serve_map(map_of(v2, v2));
    ASSERT_EQ(update(), 0) << fake.session.standard_error;
    EXPECT_EQ(installer_seen, v2);
    std::vector<std::string> urls;
    for (const auto& asked : fake.network.ranges_asked) urls.push_back(asked.url);
    ASSERT_GE(urls.size(), 5u);
    // Each range goes where the last one came from, until that stops answering.
    EXPECT_EQ(urls[0], kInstallerUrl);
    EXPECT_EQ(urls[1], kSignedUrl);
    EXPECT_EQ(urls[urls.size() - 3], kSignedUrl);
    EXPECT_EQ(urls[urls.size() - 2], kInstallerUrl);
    EXPECT_EQ(urls[urls.size() - 1], second);
    EXPECT_TRUE(fetched(fake.network.ranges_asked, v2, 'z'));
    EXPECT_TRUE(fetched(fake.network.ranges_asked, v2, 'X'));
    EXPECT_EQ(whole_downloads(), 0u);

    // A redirect to plain http is refused for the ranges as for the whole download.
    Scene t;
    t.fake.network.served[kInstallerUrl].redirect_to = "http://example.com/Notes-2.0-Setup.exe";
    EXPECT_EQ(t.update(), 1);
    EXPECT_NE(t.log().find("a range request can't be used: it leads"), std::string::npos) << t.log();
    EXPECT_NE(t.fake.session.standard_error.find("can't be downloaded from"), std::string::npos);
    EXPECT_TRUE(t.installer_seen.empty());
}

}  // namespace
}  // namespace plinth
