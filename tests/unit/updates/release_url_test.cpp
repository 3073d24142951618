#include "updates/release_url.h"

#include <gtest/gtest.h>

namespace plinth {
namespace {

TEST(ReleaseUrl, ResolvesAsABrowserDoes) {
    const char* feed = "https://example.com/apps/notes/feed.json?channel=stable";
    const struct {
        const char* reference;
        const char* url;
    } cases[] = {
        {"Notes-2.0-Setup.exe", "https://example.com/apps/notes/Notes-2.0-Setup.exe"},
        {"./v2/Setup.exe", "https://example.com/apps/notes/v2/Setup.exe"},
        {"../../Setup.exe", "https://example.com/Setup.exe"},
        {"../../../../Setup.exe", "https://example.com/Setup.exe"},  // never above the root
        {"/downloads/Setup.exe?x=1", "https://example.com/downloads/Setup.exe?x=1"},
        {"//cdn.example.net/Setup.exe", "https://cdn.example.net/Setup.exe"},
        {"https://cdn.example.net/a/Setup.exe", "https://cdn.example.net/a/Setup.exe"},
        {"?build=2", "https://example.com/apps/notes/feed.json?build=2"},
    };
    for (const auto& c : cases) {
        const auto url = resolve_installer_url(feed, c.reference);
        ASSERT_TRUE(url.ok()) << c.reference << ": " << url.error().text;
        EXPECT_EQ(*url, c.url) << c.reference;
    }
    // Feeds of other shapes: no path, a query alone, the scheme and a loopback host in capitals.
    const struct {
        const char* feed;
        const char* reference;
        const char* url;
    } feeds[] = {
        {"http://127.0.0.1:8123/feed.json", "Setup.exe", "http://127.0.0.1:8123/Setup.exe"},
        {"https://example.com", "Setup.exe", "https://example.com/Setup.exe"},
        {"https://example.com:8443?c=1", "?b=2", "https://example.com:8443/?b=2"},
        {"https://[::1]?c=1", "a/../Setup.exe", "https://[::1]/Setup.exe"},
        {"HTTP://LocalHost/apps/", "../Setup.exe", "http://LocalHost/Setup.exe"},
    };
    for (const auto& c : feeds) {
        const auto url = resolve_installer_url(c.feed, c.reference);
        ASSERT_TRUE(url.ok()) << c.feed << ": " << url.error().text;
        EXPECT_EQ(*url, c.url) << c.feed;
    }
}

TEST(ReleaseUrl, RefusesInstallersFromWhereUpdatesMayNotCome) {
    const struct {
        const char* feed;
        const char* reference;
        const char* says;
    } cases[] = {
        {"https://example.com/feed.json", "http://example.com/Setup.exe", "uses http://"},
        // Loopback http is for tests, never reached from a real https feed.
        {"https://example.com/feed.json", "http://127.0.0.1/Setup.exe", "from https to plain http"},
        {"https://example.com/feed.json", "ftp://example.com/Setup.exe", "isn't an https:// URL"},
        {"https://example.com/feed.json", "https://me:pw@example.com/Setup.exe", "user name or password"},
        {"https://example.com/feed.json", "Setup.exe#x", "fragment"},
        {"https://example.com/feed.json", "Set up.exe", "percent-encode"},
    };
    for (const auto& c : cases) {
        const auto url = resolve_installer_url(c.feed, c.reference);
        ASSERT_FALSE(url.ok()) << c.reference;
        EXPECT_NE(url.error().text.find(c.says), std::string::npos) << url.error().text;
    }
    // Whole, the URL's own problem and the redirect's read alike.
    EXPECT_EQ(resolve_installer_url("https://example.com/feed.json", "ftp://example.com/Setup.exe").error().text,
              "The update feed's installer URL \"ftp://example.com/Setup.exe\" can't be used: it isn't an https:// URL; "
              "write one such as https://example.com/app/feed.json.");
    EXPECT_EQ(resolve_installer_url("https://example.com/feed.json", "http://127.0.0.1/Setup.exe").error().text,
              "The update feed's installer URL \"http://127.0.0.1/Setup.exe\" can't be used: it leads from https to plain "
              "http (\"http://127.0.0.1/Setup.exe\"), which anyone on the way could change.");
}

TEST(ReleaseUrl, ARedirectMayNotLeaveHttpsOrTheRule) {
    EXPECT_EQ(redirect_problem("https://a.com/f", "https://b.com/g"), std::nullopt);
    EXPECT_EQ(redirect_problem("http://127.0.0.1/f", "http://localhost/g"), std::nullopt);
    EXPECT_NE(redirect_problem("https://a.com/f", "http://127.0.0.1/f"), std::nullopt);
    EXPECT_NE(redirect_problem("http://127.0.0.1/f", "http://example.com/f"), std::nullopt);
    EXPECT_NE(redirect_problem("https://a.com/f", ""), std::nullopt);
}

}  // namespace
}  // namespace plinth
