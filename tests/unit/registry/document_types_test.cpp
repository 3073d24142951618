#include "registry/document_types.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"
#include "registry/registry_test_support.h"

namespace plinth {
namespace {

using testing_support::failure_text_for;
using testing_support::registry_calls;
using Names = std::vector<std::u16string>;

const Path kApp = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\My Notes\\Notes.exe";
const std::string kAppText = "C:\\Users\\Ann\\AppData\\Local\\Programs\\My Notes\\Notes.exe";

DocumentType type(std::string name, std::vector<std::string> extensions, bool owned,
                  std::optional<std::uint16_t> icon = std::nullopt) {
    return DocumentType{std::move(name), std::move(extensions), owned, icon};
}

TEST(ProgId, IdFullStopAndFirstExtensionOrDocument) {
    struct Case {
        std::string app_id;
        std::vector<std::string> extensions;
        std::string expected;
    };
    const Case cases[] = {
        {"com.example.notes", {"note", "txt"}, "com.example.notes.note"},
        {"com.example.notes", {}, "com.example.notes.document"},
        {"com.example.notes", {"", "txt"}, "com.example.notes."},
        {"Mixed\\Case", {"TXT"}, "Mixed\\Case.TXT"},
        {"ünï", {"ñ"}, "ünï.ñ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(prog_id(c.app_id, type("Doc", c.extensions, false)), c.expected);
    }
}

TEST(WriteAssociations, OwnedTypeWritesEveryKeyInOrderAndNotifiesOnce) {
    fake::FakePlatform fake;
    const std::vector<DocumentType> types{type("Note", {"note", "nt"}, true, 2)};
    ASSERT_TRUE(write_associations(fake.platform(), "com.example.notes", types, kApp).ok());

    EXPECT_EQ(registry_calls(fake.faults), (std::vector<std::string>{
        // The extension keys it is about to make, remembered first.
        "registry.get_value Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\com.example.notes",
        "registry.key_counts Software\\Classes\\.note",
        "registry.key_counts Software\\Classes\\.nt",
        "registry.create_key Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\com.example.notes",
        "registry.set_value CreatedClassKeys",
        "registry.create_key Software\\Classes\\com.example.notes.note",
        "registry.set_value",
        "registry.create_key Software\\Classes\\com.example.notes.note\\DefaultIcon",
        "registry.set_value",
        "registry.create_key Software\\Classes\\com.example.notes.note\\shell\\open\\command",
        "registry.set_value",
        "registry.create_key Software\\Classes\\.note",
        "registry.set_value",
        "registry.create_key Software\\Classes\\.note\\OpenWithProgids",
        "registry.set_value com.example.notes.note",
        "registry.create_key Software\\Classes\\.nt",
        "registry.set_value",
        "registry.create_key Software\\Classes\\.nt\\OpenWithProgids",
        "registry.set_value com.example.notes.note",
    }));

    fake::FakePlatform expected;
    expected.registry.put_text(u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\com.example.notes",
                               u"CreatedClassKeys", ".note\\OpenWithProgids|.note|.nt\\OpenWithProgids|.nt");
    const std::u16string id = u"Software\\Classes\\com.example.notes.note";
    expected.registry.put_text(id, u"", "Note");
    expected.registry.put_text(id + u"\\DefaultIcon", u"", kAppText + ",-2");
    expected.registry.put_text(id + u"\\shell\\open\\command", u"", "\"" + kAppText + "\" \"%1\"");
    for (std::u16string extension : {u".note", u".nt"}) {
        expected.registry.put_text(u"Software\\Classes\\" + extension, u"", "com.example.notes.note");
        expected.registry.put_text(u"Software\\Classes\\" + extension + u"\\OpenWithProgids",
                                   u"com.example.notes.note", "");
    }
    EXPECT_EQ(fake.registry.dump(), expected.registry.dump());
    EXPECT_EQ(fake.registry.value(u"Software\\Classes\\.nt\\OpenWithProgids", u"com.example.notes.note")->data,
              (std::vector<std::uint8_t>{0, 0}));
    EXPECT_EQ(fake.registry.open_keys(), 0);
    ASSERT_EQ(fake.shell.notifications.size(), 1u);
    EXPECT_EQ(fake.shell.notifications[0].event_id, 0x08000000);
    EXPECT_EQ(fake.shell.notifications[0].flags, 0u);
}

TEST(WriteAssociations, IconSuffix) {
    struct Case {
        std::optional<std::uint16_t> icon;
        std::string suffix;
    };
    const Case cases[] = {{std::nullopt, ",0"}, {0, ",-0"}, {1, ",-1"}, {2, ",-2"}, {65535, ",-65535"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.suffix);
        fake::FakePlatform fake;
        ASSERT_TRUE(write_associations(fake.platform(), "app", {type("Doc", {"d"}, false, c.icon)}, kApp).ok());
        EXPECT_EQ(fake.registry.text(u"Software\\Classes\\app.d\\DefaultIcon", u""), kAppText + c.suffix);
    }
}

TEST(WriteAssociations, NotOwnedKeepsTheExtensionsDefaultAndOtherProgramsEntries) {
    fake::FakePlatform fake;
    fake.registry.put_text(u"Software\\Classes\\.txt", u"", "txtfile");
    fake.registry.put_text(u"Software\\Classes\\.txt\\OpenWithProgids", u"Other.txt", "");
    fake.registry.put_text(u"Software\\Classes\\app.txt\\shell\\edit\\command", u"", "other");
    ASSERT_TRUE(write_associations(fake.platform(), "app", {type("Text", {"txt"}, false)}, kApp).ok());
    EXPECT_EQ(fake.registry.text(u"Software\\Classes\\.txt", u""), "txtfile");
    EXPECT_EQ(fake.registry.value_names(u"Software\\Classes\\.txt\\OpenWithProgids"),
              (Names{u"Other.txt", u"app.txt"}));
    EXPECT_EQ(fake.registry.text(u"Software\\Classes\\app.txt\\shell\\edit\\command", u""), "other");
    EXPECT_EQ(fake.registry.text(u"Software\\Classes\\app.txt", u""), "Text");
}

TEST(WriteAssociations, OwnedReplacesTheExtensionsDefault) {
    fake::FakePlatform fake;
    fake.registry.put_text(u"Software\\Classes\\.txt", u"", "txtfile");
    ASSERT_TRUE(write_associations(fake.platform(), "app", {type("Text", {"txt"}, true)}, kApp).ok());
    EXPECT_EQ(fake.registry.text(u"Software\\Classes\\.txt", u""), "app.txt");
}

TEST(WriteAssociations, TypeWithoutExtensionsGetsADocumentProgIdAndNoExtensionKeys) {
    fake::FakePlatform fake;
    ASSERT_TRUE(write_associations(fake.platform(), "app", {type("Thing", {}, true)}, kApp).ok());
    fake::FakePlatform expected;
    expected.registry.put_text(u"Software\\Classes\\app.document", u"", "Thing");
    expected.registry.put_text(u"Software\\Classes\\app.document\\DefaultIcon", u"", kAppText + ",0");
    expected.registry.put_text(u"Software\\Classes\\app.document\\shell\\open\\command", u"",
                               "\"" + kAppText + "\" \"%1\"");
    EXPECT_EQ(fake.registry.dump(), expected.registry.dump());
    EXPECT_EQ(fake.shell.notifications.size(), 1u);
}

TEST(WriteAssociations, EmptyExtensionIsUsedUnchanged) {
    fake::FakePlatform fake;
    ASSERT_TRUE(write_associations(fake.platform(), "app", {type("Odd", {""}, true)}, kApp).ok());
    EXPECT_EQ(fake.registry.text(u"Software\\Classes\\app.", u""), "Odd");
    EXPECT_EQ(fake.registry.text(u"Software\\Classes\\.", u""), "app.");
    EXPECT_EQ(fake.registry.value_names(u"Software\\Classes\\.\\OpenWithProgids"), Names{u"app."});
}

TEST(WriteAssociations, TypesSharingAFirstExtensionShareTheProgIdAndTheLaterWins) {
    fake::FakePlatform fake;
    const std::vector<DocumentType> types{type("First", {"doc", "a"}, true, 1),
                                          type("Second", {"doc", "b"}, false, 3)};
    ASSERT_TRUE(write_associations(fake.platform(), "app", types, kApp).ok());
    EXPECT_EQ(fake.registry.text(u"Software\\Classes\\app.doc", u""), "Second");
    EXPECT_EQ(fake.registry.text(u"Software\\Classes\\app.doc\\DefaultIcon", u""), kAppText + ",-3");
    EXPECT_EQ(fake.registry.text(u"Software\\Classes\\.doc", u""), "app.doc");
    EXPECT_EQ(fake.registry.text(u"Software\\Classes\\.a", u""), "app.doc");
    EXPECT_EQ(fake.registry.text(u"Software\\Classes\\.b", u""), std::nullopt);
    EXPECT_EQ(fake.registry.value_names(u"Software\\Classes\\.b\\OpenWithProgids"), Names{u"app.doc"});
    EXPECT_EQ(fake.shell.notifications.size(), 1u);
}

TEST(WriteAssociations, NoTypesWritesNothingAndSendsNoNotification) {
    fake::FakePlatform fake;
    ASSERT_TRUE(write_associations(fake.platform(), "app", {}, kApp).ok());
    EXPECT_FALSE(fake.registry.key_exists(u"Software\\Classes"));
    EXPECT_TRUE(fake.shell.notifications.empty());
}

TEST(WriteAssociations, RewritingConvergesWithoutDuplicates) {
    fake::FakePlatform fake;
    const std::vector<DocumentType> types{type("Note", {"note", "nt"}, true, 2), type("Plain", {"txt"}, false)};
    ASSERT_TRUE(write_associations(fake.platform(), "app", types, kApp).ok());
    const std::string first = fake.registry.dump();
    ASSERT_TRUE(write_associations(fake.platform(), "app", types, kApp).ok());
    EXPECT_EQ(fake.registry.dump(), first);
    // A dropped extension keeps its open-with entry.
    ASSERT_TRUE(write_associations(fake.platform(), "app", {type("Note", {"note"}, true, 2)}, kApp).ok());
    EXPECT_EQ(fake.registry.value_names(u"Software\\Classes\\.nt\\OpenWithProgids"), Names{u"app.note"});
    EXPECT_EQ(fake.shell.notifications.size(), 3u);
}

TEST(WriteAssociations, EveryFailingCallStopsWithItsTextAllKeysClosedAndNoNotification) {
    const std::vector<DocumentType> types{type("Note", {"note", "nt"}, true, 2), type("Plain", {"txt"}, false)};
    fake::FakePlatform clean;
    ASSERT_TRUE(write_associations(clean.platform(), "app", types, kApp).ok());
    const auto calls = registry_calls(clean.faults);
    ASSERT_EQ(calls.size(), 28u);
    for (size_t n = 1; n <= calls.size(); ++n) {
        SCOPED_TRACE(calls[n - 1]);
        if (n == 1) continue;  // a list that can't be read is none yet
        fake::FakePlatform fake;
        fake.faults.fail_call(static_cast<int>(n), 5);
        auto written = write_associations(fake.platform(), "app", types, kApp);
        ASSERT_FALSE(written.ok());
        EXPECT_EQ(written.error().text, failure_text_for(calls[n - 1], 5));
        EXPECT_EQ(fake.faults.calls(), static_cast<int>(n)) << "nothing tried after the failure";
        EXPECT_EQ(fake.registry.open_keys(), 0);
        EXPECT_TRUE(fake.shell.notifications.empty());
    }
}

TEST(WriteAssociations, FailureLeavesEarlierWritesInPlace) {
    fake::FakePlatform fake;
    fake.faults.fail_on_path("registry.create_key", u"Software\\Classes\\.txt\\OpenWithProgids", 1018);
    const std::vector<DocumentType> types{type("Note", {"note"}, true), type("Plain", {"txt"}, false)};
    auto written = write_associations(fake.platform(), "app", types, kApp);
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.error().text, "Can't write to the registry (Software\\Classes\\.txt\\OpenWithProgids, error 1018).");
    EXPECT_EQ(fake.registry.text(u"Software\\Classes\\.note", u""), "app.note");
    EXPECT_EQ(fake.registry.text(u"Software\\Classes\\app.txt", u""), "Plain");
}

}  // namespace
}  // namespace plinth
