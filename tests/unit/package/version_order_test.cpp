#include "package/version_order.h"

#include <gtest/gtest.h>

#include <string>

#include "package/update_url.h"

namespace plinth {
namespace {

TEST(VersionOrder, ComparesPartByPartAsNumbers) {
    const struct {
        const char* a;
        const char* b;
        int order;
    } cases[] = {
        {"1.10", "1.9", 1},        // not as text
        {"1.2", "1.2.0", 0},       // a missing part is zero
        {"1.2.0.1", "1.2", 1},
        {"1.02", "1.2", 0},        // leading zeros don't count
        {"0.0", "0", 0},
        {"2", "10", -1},
        {"99999999999999999999999", "99999999999999999999998", 1},  // beyond 64 bits
        {"1.0.0.0.0.0.0.1", "1", 1},
        {"007", "7.0", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(compare_versions(c.a, c.b), c.order) << c.a << " vs " << c.b;
        EXPECT_EQ(compare_versions(c.b, c.a), -c.order) << c.b << " vs " << c.a;
    }
}

TEST(VersionOrder, OnlyDigitsAndSingleDotsCanBeOrdered) {
    for (const char* bad : {"", ".", "1.", ".1", "1..2", "1.0-beta", "v1", "-1", "1 ", " 1", "1,2", "١"}) {
        EXPECT_FALSE(is_comparable_version(bad)) << bad;
        EXPECT_EQ(compare_versions(bad, "1"), std::nullopt) << bad;
    }
    EXPECT_TRUE(is_comparable_version(std::string(kMaxVersionLength, '1')));
    EXPECT_FALSE(is_comparable_version(std::string(kMaxVersionLength + 1, '1')));
}

TEST(UpdateUrl, HttpsAnywhereHttpOnlyToLoopback) {
    for (const char* good : {"https://example.com/feed.json", "HTTPS://Example.com", "https://example.com:8443/a?b=c",
                             "http://127.0.0.1:8000/feed.json", "http://localhost/x", "http://[::1]:1/",
                             "https://[2001:db8::1]/f", "https://example.com:65535/"}) {
        EXPECT_EQ(update_url_problem(good), std::nullopt) << good;
    }
    const struct {
        const char* url;
        const char* says;
    } bad[] = {
        {"", "is empty"},
        {"http://example.com/feed.json", "uses http:// to example.com"},
        {"http://127.0.0.2/", "uses http://"},
        {"http://localhost.example.com/", "uses http://"},
        {"ftp://example.com/feed.json", "isn't an https:// URL"},
        {"example.com/feed.json", "isn't an https:// URL"},
        {"https://user:pw@example.com/feed.json", "user name or password"},
        {"https://example.com/feed.json#top", "fragment"},
        {"https:///feed.json", "has no host"},
        {"https://:443/feed.json", "has no host"},
        {"https://example.com:0/", "the port \"0\""},
        {"https://example.com:65536/", "the port \"65536\""},
        {"https://example.com:/", "the port \"\""},
        {"https://example.com:8a/", "the port \"8a\""},
        {"https://[::1/", "closing ]"},
        {"https://example.com/a b", "percent-encode"},
        {"https://ex\xC3\xA4mple.com/", "percent-encode"},
    };
    for (const auto& c : bad) {
        const auto problem = update_url_problem(c.url);
        ASSERT_TRUE(problem.has_value()) << c.url;
        EXPECT_NE(problem->find(c.says), std::string::npos) << c.url << ": " << *problem;
    }
    EXPECT_TRUE(update_url_problem("https://e.com/" + std::string(kMaxUrlLength - 14, 'a')) == std::nullopt);
    EXPECT_TRUE(update_url_problem("https://e.com/" + std::string(kMaxUrlLength - 13, 'a')).has_value());
}

}  // namespace
}  // namespace plinth
