#include "registry/uninstall_entry.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"
#include "registry/registry_test_support.h"

namespace plinth {
namespace {

using testing_support::failure_text_for;
using testing_support::registry_calls;

const std::u16string kKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\com.example.notes";

AppManifest notes() {
    return {.name = "My Notes",
            .id = "com.example.notes",
            .version = "2.1.0",
            .publisher = "Example Ltd",
            .exe = "Notes.exe"};
}

UninstallEntryFacts facts(std::uint64_t app_size = 1'000'000, std::uint64_t installer_size = 500'000) {
    const Path folder = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\My Notes";
    return {folder, folder + u"\\Notes.exe", folder + u"\\uninstall.exe", app_size, installer_size};
}

std::vector<std::pair<std::u16string, std::uint32_t>> names_and_types(fake::FakeRegistry& registry) {
    std::vector<std::pair<std::u16string, std::uint32_t>> out;
    for (const auto& name : registry.value_names(kKey)) out.emplace_back(name, registry.value(kKey, name)->type);
    return out;
}

TEST(UninstallEntry, KeyPathTakesTheIdUnchanged) {
    EXPECT_EQ(uninstall_key_path("com.Example\\Sub"),
              "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\com.Example\\Sub");
}

TEST(UninstallEntry, WritesTheElevenValuesInOrderWithTheirTypesAndData) {
    fake::FakePlatform fake;
    fake.session.date = {2027, 3, 9};
    ASSERT_TRUE(write_uninstall_entry(fake.platform(), notes(), facts()).ok());
    EXPECT_EQ(names_and_types(fake.registry), (std::vector<std::pair<std::u16string, std::uint32_t>>{
        {u"DisplayName", 1}, {u"DisplayVersion", 1}, {u"DisplayIcon", 1}, {u"InstallLocation", 1},
        {u"UninstallString", 1}, {u"QuietUninstallString", 1}, {u"InstallDate", 1}, {u"Publisher", 1},
        {u"EstimatedSize", 4}, {u"NoModify", 4}, {u"NoRepair", 4}}));
    const std::string folder = "C:\\Users\\Ann\\AppData\\Local\\Programs\\My Notes";
    auto& r = fake.registry;
    EXPECT_EQ(r.text(kKey, u"DisplayName"), "My Notes");
    EXPECT_EQ(r.text(kKey, u"DisplayVersion"), "2.1.0");
    EXPECT_EQ(r.text(kKey, u"DisplayIcon"), folder + "\\Notes.exe,0");
    EXPECT_EQ(r.text(kKey, u"InstallLocation"), folder);
    EXPECT_EQ(r.text(kKey, u"UninstallString"), "\"" + folder + "\\uninstall.exe\" /uninstall");
    EXPECT_EQ(r.text(kKey, u"QuietUninstallString"), "\"" + folder + "\\uninstall.exe\" /uninstall /S");
    EXPECT_EQ(r.text(kKey, u"InstallDate"), "20270309");
    EXPECT_EQ(r.text(kKey, u"Publisher"), "Example Ltd");
    EXPECT_EQ(r.number(kKey, u"EstimatedSize"), 1464u);
    EXPECT_EQ(r.number(kKey, u"NoModify"), 1u);
    EXPECT_EQ(r.number(kKey, u"NoRepair"), 1u);
    EXPECT_EQ(r.open_keys(), 0);
    EXPECT_TRUE(fake.shell.notifications.empty()) << "no document types, no notification";
    EXPECT_FALSE(r.key_exists(u"Software\\Classes"));
}

TEST(UninstallEntry, EstimatedSizeIsA64BitSumInKibTruncatedTo32Bits) {
    struct Case {
        const char* name;
        std::uint64_t app;
        std::uint64_t installer;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"example", 1'000'000, 500'000, 1464},
        {"installer size unknown", 1'000'000, 0, 976},
        {"just below 1 KiB", 1023, 0, 0},
        {"exactly 1 KiB", 1000, 24, 1},
        {"sum past 32 bits", 0xFFFFFFFFu, 1, 4'194'304},
        {"quotient past 32 bits", (std::uint64_t{1} << 42) + 5 * 1024, 0, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakePlatform fake;
        ASSERT_TRUE(write_uninstall_entry(fake.platform(), notes(), facts(c.app, c.installer)).ok());
        EXPECT_EQ(fake.registry.number(kKey, u"EstimatedSize"), c.expected);
    }
}

TEST(UninstallEntry, EmptyPublisherWritesNoneAndKeepsAnOlderOne) {
    AppManifest manifest = notes();
    manifest.publisher.clear();
    fake::FakePlatform fresh;
    ASSERT_TRUE(write_uninstall_entry(fresh.platform(), manifest, facts()).ok());
    EXPECT_EQ(fresh.registry.value(kKey, u"Publisher"), std::nullopt);
    EXPECT_EQ(fresh.registry.value_names(kKey).size(), 10u);

    fake::FakePlatform update;
    update.registry.put_text(kKey, u"Publisher", "Old Publisher");
    update.registry.put_text(kKey, u"Comments", "added by someone else");
    ASSERT_TRUE(write_uninstall_entry(update.platform(), manifest, facts()).ok());
    EXPECT_EQ(update.registry.text(kKey, u"Publisher"), "Old Publisher");
    EXPECT_EQ(update.registry.text(kKey, u"Comments"), "added by someone else");
}

TEST(UninstallEntry, ReinstallRewritesEveryValueIncludingTheDate) {
    fake::FakePlatform fake;
    ASSERT_TRUE(write_uninstall_entry(fake.platform(), notes(), facts()).ok());
    fake.session.date = {2027, 1, 2};
    ASSERT_TRUE(write_uninstall_entry(fake.platform(), notes(), facts()).ok());
    EXPECT_EQ(fake.registry.text(kKey, u"InstallDate"), "20270102");
    EXPECT_EQ(fake.registry.value_names(kKey).size(), 11u);
}

TEST(UninstallEntry, AnAppWithUpdatesGetsItsRandomNumberOnceAndKeepsIt) {
    AppManifest with_feed = notes();
    with_feed.update_feed = "https://example.com/notes/feed.json";
    fake::FakePlatform fake;
    // Without updates no randomness is asked for at all.
    fake.faults.fail("crypto.random", 5);
    ASSERT_TRUE(write_uninstall_entry(fake.platform(), notes(), facts()).ok());
    EXPECT_FALSE(fake.registry.value(kKey, u"PlinthRolloutNumber"));
    // With updates but no randomness the install goes on, and the number is made next time.
    ASSERT_TRUE(write_uninstall_entry(fake.platform(), with_feed, facts()).ok());
    EXPECT_FALSE(recorded_install(fake.platform(), "com.example.notes").rollout_number);
    fake.faults.reset();
    ASSERT_TRUE(write_uninstall_entry(fake.platform(), with_feed, facts()).ok());
    const auto number = recorded_install(fake.platform(), "com.example.notes").rollout_number;
    ASSERT_TRUE(number);
    EXPECT_EQ(fake.registry.value(kKey, u"PlinthRolloutNumber")->type, 4u);
    // An update (a reinstall) keeps it: the install stays in its bucket.
    ASSERT_TRUE(write_uninstall_entry(fake.platform(), with_feed, facts()).ok());
    EXPECT_EQ(recorded_install(fake.platform(), "com.example.notes").rollout_number, number);
    // A value of another type counts as none.
    fake::FakePlatform odd;
    ASSERT_TRUE(write_uninstall_entry(odd.platform(), notes(), facts()).ok());
    odd.registry.put_text(kKey, u"PlinthRolloutNumber", "12");
    EXPECT_FALSE(recorded_install(odd.platform(), "com.example.notes").rollout_number);
}

TEST(UninstallEntry, InstallDateIsZeroPaddedYearMonthDay) {
    const std::pair<platform::LocalDate, const char*> table[] = {
        {{2027, 12, 31}, "20271231"},
        {{999, 1, 9}, "09990109"},
        {{12345, 10, 10}, "123451010"},
        {{2027, 0, 0}, "20270000"},
    };
    for (const auto& [date, expected] : table) {
        fake::FakePlatform fake;
        fake.session.date = date;
        ASSERT_TRUE(write_uninstall_entry(fake.platform(), notes(), facts()).ok());
        EXPECT_EQ(fake.registry.text(kKey, u"InstallDate"), expected);
    }
}

TEST(UninstallEntry, IdWithABackslashMakesADeeperKey) {
    fake::FakePlatform fake;
    AppManifest manifest = notes();
    manifest.id = "Vendor\\Notes";
    ASSERT_TRUE(write_uninstall_entry(fake.platform(), manifest, facts()).ok());
    EXPECT_EQ(fake.registry.text(u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vendor\\Notes",
                                 u"DisplayName"),
              "My Notes");
}

TEST(UninstallEntry, AssociationsAreWrittenWhileTheKeyIsOpenThenItCloses) {
    fake::FakePlatform fake;
    testing_support::NotificationSpy spy(fake);
    auto platform = spy.platform();
    AppManifest manifest = notes();
    manifest.documents = {DocumentType{"Note", {"note"}, true, std::nullopt}};
    ASSERT_TRUE(write_uninstall_entry(platform, manifest, facts()).ok());
    EXPECT_EQ(spy.open_keys_at_notification, std::vector<int>{1});
    EXPECT_EQ(fake.registry.open_keys(), 0);
    EXPECT_EQ(fake.registry.text(u"Software\\Classes\\com.example.notes.note\\shell\\open\\command", u""),
              "\"C:\\Users\\Ann\\AppData\\Local\\Programs\\My Notes\\Notes.exe\" \"%1\"");
    const auto calls = registry_calls(fake.faults);
    // Between them, the extension key the install is about to make is remembered in the entry.
    ASSERT_GE(calls.size(), 17u);
    EXPECT_EQ(calls[14], "registry.create_key " + to_utf8(kKey));
    EXPECT_EQ(calls[16], "registry.create_key Software\\Classes\\com.example.notes.note");
}

TEST(UninstallEntry, EveryFailingCallStopsWithItsTextAndClosesEveryKey) {
    AppManifest manifest = notes();
    manifest.documents = {DocumentType{"Note", {"note"}, true, std::nullopt}};
    fake::FakePlatform clean;
    ASSERT_TRUE(write_uninstall_entry(clean.platform(), manifest, facts()).ok());
    const auto calls = registry_calls(clean.faults);
    // The entry's values, the made keys remembered (a read, a look, a write), the type's values.
    ASSERT_EQ(calls.size(), 12u + 4u + 10u);
    for (size_t n = 1; n <= calls.size(); ++n) {
        SCOPED_TRACE(calls[n - 1]);
        // A list that can't be read is none yet.
        if (n == 13) continue;
        fake::FakePlatform fake;
        fake.faults.fail_call(static_cast<int>(n), 5);
        auto written = write_uninstall_entry(fake.platform(), manifest, facts());
        ASSERT_FALSE(written.ok());
        EXPECT_EQ(written.error().text, failure_text_for(calls[n - 1], 5));
        EXPECT_EQ(fake.faults.calls(), static_cast<int>(n)) << "nothing tried after the failure";
        EXPECT_EQ(fake.registry.open_keys(), 0);
        EXPECT_TRUE(fake.shell.notifications.empty());
        if (n <= 16) {
            EXPECT_FALSE(fake.registry.key_exists(u"Software\\Classes"));
        }
    }
}

TEST(UninstallEntry, FailedValueKeepsTheEarlierOnes) {
    fake::FakePlatform fake;
    fake.faults.fail_on_path("registry.set_value", u"InstallDate", 1018);
    auto written = write_uninstall_entry(fake.platform(), notes(), facts());
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.error().text, "Can't write to the registry (InstallDate, error 1018).");
    EXPECT_EQ(fake.registry.value_names(kKey),
              (std::vector<std::u16string>{u"DisplayName", u"DisplayVersion", u"DisplayIcon", u"InstallLocation",
                                           u"UninstallString", u"QuietUninstallString"}));
}

TEST(UninstallEntry, UnpairedSurrogateInAPathBecomesTheReplacementCharacter) {
    fake::FakePlatform fake;
    UninstallEntryFacts odd = facts();
    odd.install_folder = u"C:\\Apps\\X\xD800Y";
    ASSERT_TRUE(write_uninstall_entry(fake.platform(), notes(), odd).ok());
    EXPECT_EQ(fake.registry.text(kKey, u"InstallLocation"), "C:\\Apps\\X\xEF\xBF\xBDY");
}

}  // namespace
}  // namespace plinth
