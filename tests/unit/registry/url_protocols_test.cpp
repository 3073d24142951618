#include "registry/url_protocols.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace plinth {
namespace {

const Path kApp = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\My Notes\\Notes.exe";
const std::string kAppText = "C:\\Users\\Ann\\AppData\\Local\\Programs\\My Notes\\Notes.exe";
const std::u16string kEntry = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\com.example.notes";
const std::u16string kClasses = u"Software\\Classes\\";

AppManifest notes(std::string protocols) {
    return {.name = "My Notes", .id = "com.example.notes", .exe = "Notes.exe", .protocols = std::move(protocols)};
}

TEST(UrlProtocols, EachSchemeIsRegisteredAndTheEntryRemembersThem) {
    fake::FakePlatform fake;
    ASSERT_TRUE(write_url_protocols(fake.platform(), notes("notes|Web+Notes"), kApp).ok());

    fake::FakePlatform expected;
    expected.registry.put_text(kEntry, u"UrlProtocols", "notes|Web+Notes");
    for (std::u16string scheme : {u"notes", u"Web+Notes"}) {
        const std::u16string key = kClasses + scheme;
        expected.registry.put_text(key, u"", "URL:My Notes");
        expected.registry.put_text(key, u"URL Protocol", "");
        expected.registry.put_text(key + u"\\DefaultIcon", u"", kAppText + ",0");
        expected.registry.put_text(key + u"\\shell\\open\\command", u"", "\"" + kAppText + "\" \"%1\"");
    }
    EXPECT_EQ(fake.registry.dump(), expected.registry.dump());
    EXPECT_EQ(fake.registry.open_keys(), 0);
    EXPECT_TRUE(fake.shell.notifications.empty());
}

// An update takes away the schemes the new version no longer has, but only those whose open
// command still starts the app: another program's since, or a name a hand-edited entry turned
// into another key's path, stays.
TEST(UrlProtocols, AnUpdateRemovesTheDroppedSchemesThatAreStillOurs) {
    fake::FakePlatform fake;
    fake.registry.put_text(u"Software\\Classes\\txtfile\\shell\\open\\command", u"", "\"" + kAppText + "\" \"%1\"");
    ASSERT_TRUE(write_url_protocols(fake.platform(), notes("notes|old|taken"), kApp).ok());
    fake.registry.put_text(kClasses + u"taken\\shell\\open\\command", u"", "\"C:\\Other\\other.exe\" \"%1\"");
    fake.registry.put_text(kEntry, u"UrlProtocols", "notes|old|taken|txtfile\\shell||");

    ASSERT_TRUE(write_url_protocols(fake.platform(), notes("NOTES|new"), kApp).ok());
    EXPECT_FALSE(fake.registry.key_exists(kClasses + u"old"));
    EXPECT_EQ(fake.registry.text(kClasses + u"taken\\shell\\open\\command", u""), "\"C:\\Other\\other.exe\" \"%1\"");
    EXPECT_TRUE(fake.registry.key_exists(u"Software\\Classes\\txtfile\\shell\\open\\command"));
    EXPECT_EQ(fake.registry.text(kClasses + u"notes", u"URL Protocol"), "");
    EXPECT_EQ(fake.registry.text(kClasses + u"new\\shell\\open\\command", u""), "\"" + kAppText + "\" \"%1\"");
    EXPECT_EQ(fake.registry.text(kEntry, u"UrlProtocols"), "NOTES|new");

    // A version without schemes takes the rest away, and the entry's list with them.
    ASSERT_TRUE(write_url_protocols(fake.platform(), notes(""), kApp).ok());
    EXPECT_FALSE(fake.registry.key_exists(kClasses + u"notes"));
    EXPECT_FALSE(fake.registry.key_exists(kClasses + u"new"));
    EXPECT_FALSE(fake.registry.value(kEntry, u"UrlProtocols"));
    EXPECT_EQ(fake.registry.open_keys(), 0);
}

}  // namespace
}  // namespace plinth
