#include "registry/url_protocols.h"

#include <gtest/gtest.h>

#include "log/run_log.h"
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

// Other programs' class keys: a per-user COM server, a ProgID, a URL protocol, the app's own
// document type (its command is the app's, but it is no URL protocol), and a machine's class.
void seed_other_programs(fake::FakeRegistry& registry) {
    const std::u16string server = kClasses + u"CLSID\\{0A1B2C3D-0000-0000-0000-000000000001}\\InprocServer32";
    registry.put_text(server, u"", "C:\\Other\\server.dll");
    registry.put_text(kClasses + u"Other.Doc\\shell\\open\\command", u"", "\"C:\\Other\\other.exe\" \"%1\"");
    registry.put_text(kClasses + u"taken", u"URL Protocol", "");
    registry.put_text(kClasses + u"taken\\shell\\open\\command", u"", "\"C:\\Other\\other.exe\" \"%1\"");
    registry.put_text(kClasses + u"com.example.notes.txt\\shell\\open\\command", u"", "\"" + kAppText + "\" \"%1\"");
    registry.put_value(kClasses + u"com.example.notes.txt", u"EditFlags", fake::kRegDword, {0, 0, 1, 0});
    registry.put_machine_class(u"Directory\\shell\\find");
}

// A scheme named like a class key that exists, the user's or the machine's, is another program's:
// neither registered nor, at the removal, deleted. What the install left out is logged, and the
// removal leaves every key as it found it but the one scheme that was free.
TEST(UrlProtocols, AnotherProgramsClassKeysAreLeftAloneAtInstallAndRemoval) {
    fake::FakePlatform fake;
    seed_other_programs(fake.registry);

    fake.files.add_folder(u"C:\\Logs");
    FileLog log(fake.platform(), u"C:\\Logs\\setup.log");
    fake.platform().log = &log;
    const auto manifest = notes("CLSID|Other.Doc|TAKEN|com.example.notes.txt|directory|notes");
    ASSERT_TRUE(write_url_protocols(fake.platform(), manifest, kApp).ok());
    EXPECT_EQ(fake.registry.text(kEntry, u"UrlProtocols"), "notes");
    EXPECT_EQ(fake.registry.text(kClasses + u"notes\\shell\\open\\command", u""), "\"" + kAppText + "\" \"%1\"");
    EXPECT_FALSE(fake.registry.key_exists(kClasses + u"directory"));
    EXPECT_FALSE(fake.registry.value(kClasses + u"CLSID", u"URL Protocol"));
    const std::string logged = fake.files.text(u"C:\\Logs\\setup.log").value_or("");
    for (const char* scheme : {"CLSID", "Other.Doc", "TAKEN", "com.example.notes.txt", "directory"}) {
        EXPECT_NE(logged.find(std::string("Left out the URL scheme, whose key is another program's: ") + scheme + "\r\n"),
                  std::string::npos)
            << scheme;
    }

    // The removal reads the manifest's schemes too, not only the entry's.
    remove_url_protocols(fake.platform(), manifest, kApp);
    fake::FakePlatform expected;
    seed_other_programs(expected.registry);
    expected.registry.put_text(kEntry, u"UrlProtocols", "notes");
    EXPECT_EQ(fake.registry.dump(), expected.registry.dump());
}

// Of a scheme that is still ours the removal and an update delete only the values the install
// wrote and the keys that leaves empty: a verb or a value another program added stays.
TEST(UrlProtocols, OnlyWhatTheInstallWroteIsDeleted) {
    fake::FakePlatform fake;
    ASSERT_TRUE(write_url_protocols(fake.platform(), notes("notes|other"), kApp).ok());
    for (const std::u16string scheme : {u"notes", u"other"}) {
        fake.registry.put_text(kClasses + scheme, u"EditFlags", "2");
        fake.registry.put_text(kClasses + scheme + u"\\shell\\edit\\command", u"", "\"C:\\Other\\edit.exe\" \"%1\"");
    }
    ASSERT_TRUE(write_url_protocols(fake.platform(), notes("notes"), kApp).ok());
    remove_url_protocols(fake.platform(), notes("notes"), kApp);

    fake::FakePlatform expected;
    expected.registry.put_text(kEntry, u"UrlProtocols", "notes");
    for (const std::u16string scheme : {u"notes", u"other"}) {
        expected.registry.put_text(kClasses + scheme, u"EditFlags", "2");
        expected.registry.put_text(kClasses + scheme + u"\\shell\\edit\\command", u"", "\"C:\\Other\\edit.exe\" \"%1\"");
    }
    EXPECT_EQ(fake.registry.dump(), expected.registry.dump());
    EXPECT_EQ(fake.registry.open_keys(), 0);
}

}  // namespace
}  // namespace plinth
