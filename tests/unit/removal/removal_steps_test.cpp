#include "removal/removal_steps.h"


#include <gtest/gtest.h>

#include "install/install_steps.h"
#include "locations/install_folder.h"
#include "platform/fake/fake_platform.h"
#include "registry/document_types.h"
#include "registry/uninstall_entry.h"
#include "registry/url_protocols.h"
#include "support/zlib_stream.h"

namespace plinth {
namespace {

const Path kFolder = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes";
const Path kApp = kFolder + u"\\Notes.exe";
const Path kUninstaller = kFolder + u"\\uninstall.exe";
const Path kStartMenuShortcut =
    u"C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Notes.lnk";
const Path kDesktopShortcut = u"C:\\Users\\Ann\\Desktop\\Notes.lnk";
const std::u16string kUninstallKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\com.example.notes";
const std::u16string kOtherUninstallKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\other";
const std::string kAppIsOpen = "Notes is open. Quit it, then try again.";

AppManifest notes() {
    return {.name = "Notes",
            .id = "com.example.notes",
            .version = "1.0",
            .exe = "Notes.exe",
            .documents = {
                {.name = "Note", .extensions = {"note", "nt"}, .owned = true, .icon = 2},
                {.name = "Text", .extensions = {"txt"}, .owned = false, .icon = std::nullopt},
            }};
}

// Another program's registrations: they must come through every removal unchanged.
void seed_other_program(fake::FakePlatform& fake) {
    fake.registry.put_text(kOtherUninstallKey, u"DisplayName", "Other");
    fake.registry.put_text(u"Software\\Classes\\.txt", u"", "txtfile");
    fake.registry.put_text(u"Software\\Classes\\.txt\\OpenWithProgids", u"other.txt", "");
    fake.registry.put_text(u"Software\\Classes\\txtfile", u"", "Text Document");
}

class Removal : public testing::Test {
protected:
    Removal() {
        state.platform = &fake.platform();
        state.manifest = notes();
        state.remove_mode = true;
        seed_other_program(fake);
    }

    // What an installation with a desktop shortcut leaves behind, written by the same code.
    void install() {
        fake.files.add_file(kApp, "app");
        fake.files.add_file(kUninstaller, "uninstaller");
        fake.files.add_file(kStartMenuShortcut, "link");
        fake.files.add_file(kDesktopShortcut, "link");
        UninstallEntryFacts facts{kFolder, kApp, kUninstaller, 3, 11};
        ASSERT_TRUE(write_uninstall_entry(fake.platform(), state.manifest, facts).ok());
        ASSERT_TRUE(write_associations(fake.platform(), state.manifest.id, state.manifest.documents, kApp).ok());
        fake.shell.notifications.clear();
    }

    Status remove() { return remove_app(fake.platform(), state); }

    // The registry of a machine where only the other program remains: the extension keys the
    // install made went once empty.
    std::string registry_after_removal() {
        fake::FakePlatform expected;
        seed_other_program(expected);
        return expected.registry.dump();
    }

    void expect_removed() {
        EXPECT_EQ(fake.registry.dump(), registry_after_removal());
        EXPECT_EQ(fake.files.list_tree(kFolder), std::vector<Path>{kUninstaller});
        EXPECT_FALSE(fake.files.exists(kStartMenuShortcut));
        EXPECT_FALSE(fake.files.exists(kDesktopShortcut));
        EXPECT_EQ(fake.shell.notifications.size(), 1u);
        EXPECT_EQ(state.folder_to_delete, kFolder);
        EXPECT_TRUE(state.done);
    }

    fake::FakePlatform fake;
    SetupState state;
};

TEST_F(Removal, RemovesEverythingButTheUninstallerAndFolder) {
    install();
    fake.files.add_file(kFolder + u"\\Notes.exe.1.old", "old app");
    ASSERT_TRUE(remove().ok());
    expect_removed();
    EXPECT_EQ(fake.shell.notifications[0].event_id, 0x08000000);
    EXPECT_EQ(fake.shell.notifications[0].flags, 0u);
}

TEST_F(Removal, DeletesInItsOrderTreeBeforeKeyAndTheUninstallKeyLast) {
    install();
    fake.files.add_file(kFolder + u"\\Notes.exe.1.old", "old app");
    fake.faults.reset();
    ASSERT_TRUE(remove().ok());
    // The deletions, and the reads of extension defaults (the two calls of one read as one).
    std::vector<std::string> deletions;
    for (const std::string& call : fake.faults.call_log()) {
        const bool read = call.rfind("registry.get_value Software\\Classes", 0) == 0;
        if (read && !deletions.empty() && deletions.back() == call) continue;
        if (read || call.rfind("files.delete", 0) == 0 || call.rfind("registry.delete", 0) == 0) {
            deletions.push_back(call);
        }
    }
    const std::string folder = to_utf8(kFolder);
    EXPECT_EQ(deletions, (std::vector<std::string>{
        "files.delete_file " + folder + "\\Notes.exe",
        "files.delete_file " + folder + "\\Notes.exe.1.old",
        "files.delete_file " + to_utf8(kStartMenuShortcut),
        "files.delete_file " + to_utf8(kDesktopShortcut),
        "registry.get_value Software\\Classes\\com.example.notes.note\\shell\\open\\command",
        "registry.delete_tree Software\\Classes\\com.example.notes.note",
        "registry.delete_key Software\\Classes\\com.example.notes.note",
        "registry.delete_key_value Software\\Classes\\.note\\OpenWithProgids",
        "registry.get_value Software\\Classes\\.note",
        "registry.delete_key_value Software\\Classes\\.note",
        "registry.delete_key_value Software\\Classes\\.nt\\OpenWithProgids",
        "registry.get_value Software\\Classes\\.nt",
        "registry.delete_key_value Software\\Classes\\.nt",
        "registry.get_value Software\\Classes\\com.example.notes.txt\\shell\\open\\command",
        "registry.delete_tree Software\\Classes\\com.example.notes.txt",
        "registry.delete_key Software\\Classes\\com.example.notes.txt",
        "registry.delete_key_value Software\\Classes\\.txt\\OpenWithProgids",
        "registry.get_value Software\\Classes\\.txt",
        "registry.delete_key Software\\Classes\\.note\\OpenWithProgids",
        "registry.delete_key Software\\Classes\\.note",
        "registry.delete_key Software\\Classes\\.nt\\OpenWithProgids",
        "registry.delete_key Software\\Classes\\.nt",
        "registry.delete_tree " + to_utf8(kUninstallKey),
        "registry.delete_key " + to_utf8(kUninstallKey),
    }));
}

TEST_F(Removal, AppThatCantBeDeletedMeansNothingIsRemoved) {
    struct Case {
        const char* what;
        fake::FileAttributes attributes;
    };
    const Case cases[] = {
        {"running", {.running = true}},
        {"held open", {.locked = true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        install();
        fake.files.set_attributes(kApp, c.attributes);
        fake.files.add_file(kFolder + u"\\Notes.exe.1.old", "old app");
        const std::string before = fake.state_dump();

        const Status status = remove();
        ASSERT_FALSE(status.ok());
        EXPECT_EQ(status.error().text, kAppIsOpen);
        EXPECT_EQ(fake.state_dump(), before);
        EXPECT_TRUE(fake.shell.notifications.empty());
        EXPECT_FALSE(state.folder_to_delete.has_value());
        EXPECT_FALSE(state.done);

        fake.files.set_attributes(kApp, {});  // the user quits the app and tries again
        ASSERT_TRUE(remove().ok());
        expect_removed();
        state.done = false;
        state.folder_to_delete.reset();
    }
}

TEST_F(Removal, NameWithANulIsQuotedVisibly) {
    state.manifest.name = std::string("No\0tes", 6);
    fake.files.add_file(kApp, "app", {.running = true});
    const Status status = remove();
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().text, "No\\0tes is open. Quit it, then try again.");
}

// The app's path examined: not found, and the answers that say no such file can exist, mean
// there is nothing to delete; access denied and a sharing violation mean it may be there.
TEST_F(Removal, AppPathThatCantNameAFileCountsAsMissing) {
    struct Case {
        platform::ErrorCode code;
        bool removed;
    };
    const Case cases[] = {{2, true},   {3, true},   {123, true}, {161, true},
                          {206, true}, {267, true}, {5, false},  {32, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        install();
        ASSERT_EQ(fake.files.delete_file(kApp), platform::codes::kSuccess);
        fake.faults.reset();
        // Windows answers every call on such a path the same way.
        for (const char* operation : {"files.metadata", "files.delete_file", "files.delete_file_by_handle"}) {
            fake.faults.fail_on_path(operation, kApp, c.code);
        }
        const std::string before = fake.state_dump();
        const Status status = remove();
        if (c.removed) {
            ASSERT_TRUE(status.ok()) << status.error().text;
            expect_removed();
        } else {
            ASSERT_FALSE(status.ok());
            EXPECT_EQ(status.error().text, kAppIsOpen);
            EXPECT_EQ(fake.state_dump(), before);
        }
        fake.faults.reset();
        state.done = false;
        state.folder_to_delete.reset();
        fake.shell.notifications.clear();
    }
}

TEST_F(Removal, ReadOnlyAppIsDeletedByTheSecondAttempt) {
    install();
    fake.files.set_attributes(kApp, {.read_only = true});
    ASSERT_TRUE(remove().ok());
    expect_removed();
}

TEST_F(Removal, AppAlreadyDeletedByHandStillRemovesTheRest) {
    install();
    ASSERT_EQ(fake.files.delete_file(kApp), platform::codes::kSuccess);
    ASSERT_TRUE(remove().ok());
    expect_removed();
}

TEST_F(Removal, ExtensionDefaultGoesOnlyWhileItIsStillOurs) {
    struct Case {
        std::string default_value;
        bool kept;
    };
    const Case cases[] = {
        {"com.example.notes.note", false},
        {"other.note", true},
        {"COM.EXAMPLE.NOTES.note", true},   // same key name to Windows, but not our text
        {"com.example.notes.note ", true},  // one byte longer
        {"com.example.notes.not", true},    // one byte shorter
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.default_value);
        install();
        fake.registry.put_text(u"Software\\Classes\\.note", u"", c.default_value);
        ASSERT_TRUE(remove().ok());
        EXPECT_EQ(fake.registry.text(u"Software\\Classes\\.note", u""),
                  c.kept ? std::optional(c.default_value) : std::nullopt);
        EXPECT_FALSE(fake.registry.value(u"Software\\Classes\\.note\\OpenWithProgids",
                                         u"com.example.notes.note"));
        EXPECT_FALSE(fake.registry.key_exists(u"Software\\Classes\\com.example.notes.note"));
    }
}

// A ProgID is ours while its open command starts this install's exe; another program's, of
// the same name or rewritten since, stays with every reference to it.
TEST_F(Removal, ProgIdGoesOnlyWhileItsCommandStartsThisExe) {
    const std::u16string command_key = u"Software\\Classes\\com.example.notes.note\\shell\\open\\command";
    const struct {
        const char* command;
        bool kept;
    } cases[] = {
        {"\"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes\\Notes.exe\" \"%1\"", false},
        {"\"c:\\users\\ann\\appdata\\local\\programs\\notes\\NOTES.EXE\" %1", false},  // same file
        {"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes\\Notes.exe %1", false},          // unquoted
        {"\"C:\\Python\\python.exe\" \"%1\" %*", true},                                        // rewritten
        {"\"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes\\Notes.exe.bak\" \"%1\"", true},
        {"", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command ? c.command : "no command");
        install();
        fake.registry.put_text(command_key, u"", c.command);
        ASSERT_TRUE(remove().ok());
        EXPECT_EQ(fake.registry.key_exists(u"Software\\Classes\\com.example.notes.note"), c.kept);
        EXPECT_EQ(fake.registry.value(u"Software\\Classes\\.nt\\OpenWithProgids", u"com.example.notes.note").has_value(),
                  c.kept);
        EXPECT_EQ(fake.registry.text(u"Software\\Classes\\.note", u"").has_value(), c.kept);
        // The other type's ProgID was ours all along.
        EXPECT_FALSE(fake.registry.key_exists(u"Software\\Classes\\com.example.notes.txt"));
        (void)fake.registry.delete_tree(u"Software\\Classes\\com.example.notes.note");
    }
    // Without a command (another program's bare key, or a half-finished removal's), the key
    // stays and the references to it go.
    install();
    (void)fake.registry.delete_key_value(command_key, u"");
    ASSERT_TRUE(remove().ok());
    EXPECT_TRUE(fake.registry.key_exists(u"Software\\Classes\\com.example.notes.note"));
    EXPECT_FALSE(fake.registry.value(u"Software\\Classes\\.nt\\OpenWithProgids", u"com.example.notes.note"));
    EXPECT_FALSE(fake.registry.text(u"Software\\Classes\\.note", u""));
}

// A URL protocol goes while its open command starts this install's exe, whether the manifest
// still names it or only the entry remembers it; another program's since stays.
TEST_F(Removal, UrlProtocolsGoWhileTheirCommandStartsThisExe) {
    install();
    state.manifest.protocols = "notes|taken|dropped";
    ASSERT_TRUE(write_url_protocols(fake.platform(), state.manifest, kApp).ok());
    const std::u16string taken = u"Software\\Classes\\taken\\shell\\open\\command";
    fake.registry.put_text(taken, u"", "\"C:\\Other\\other.exe\" \"%1\"");
    state.manifest.protocols = "Notes";
    ASSERT_TRUE(remove().ok());
    EXPECT_FALSE(fake.registry.key_exists(u"Software\\Classes\\notes"));
    EXPECT_FALSE(fake.registry.key_exists(u"Software\\Classes\\dropped"));
    EXPECT_EQ(fake.registry.text(taken, u""), "\"C:\\Other\\other.exe\" \"%1\"");
    EXPECT_EQ(fake.registry.text(u"Software\\Classes\\taken", u"URL Protocol"), "");
    EXPECT_FALSE(fake.registry.key_exists(kUninstallKey));
}

TEST_F(Removal, TypeNeverOwnedLosesOnlyItsOpenWithEntry) {
    install();
    ASSERT_TRUE(remove().ok());
    EXPECT_EQ(fake.registry.text(u"Software\\Classes\\.txt", u""), "txtfile");
    EXPECT_EQ(fake.registry.value_names(u"Software\\Classes\\.txt\\OpenWithProgids"),
              std::vector<std::u16string>{u"other.txt"});
    EXPECT_FALSE(fake.registry.key_exists(u"Software\\Classes\\com.example.notes.txt"));
}

// Only a key the install made goes, and only empty: one that was there before (even empty), or
// that holds another program's value, stays; so does any name a hand-edited list adds.
TEST_F(Removal, ExtensionKeysGoOnlyWhereTheInstallMadeThemAndLeftThemEmpty) {
    (void)fake.registry.create_key(u"Software\\Classes\\.note", 0, 0x20006);
    (void)fake.registry.create_key(u"Software\\Classes\\emptyclass", 0, 0x20006);
    install();
    EXPECT_EQ(fake.registry.text(kUninstallKey, u"CreatedClassKeys"),
              ".note\\OpenWithProgids|.nt\\OpenWithProgids|.nt");
    fake.registry.put_text(u"Software\\Classes\\.nt\\OpenWithProgids", u"other.nt", "");
    fake.registry.put_text(kUninstallKey, u"CreatedClassKeys", ".note\\OpenWithProgids|.nt\\OpenWithProgids|.nt|emptyclass|.x\\y");
    (void)fake.registry.create_key(u"Software\\Classes\\.x\\y", 0, 0x20006);
    ASSERT_TRUE(remove().ok());
    EXPECT_TRUE(fake.registry.key_exists(u"Software\\Classes\\.note"));
    EXPECT_FALSE(fake.registry.key_exists(u"Software\\Classes\\.note\\OpenWithProgids"));
    EXPECT_EQ(fake.registry.value_names(u"Software\\Classes\\.nt\\OpenWithProgids"), std::vector<std::u16string>{u"other.nt"});
    EXPECT_TRUE(fake.registry.key_exists(u"Software\\Classes\\emptyclass"));
    EXPECT_TRUE(fake.registry.key_exists(u"Software\\Classes\\.x\\y"));
}

TEST_F(Removal, SecondRemovalFindsNothingAndSucceedsForTheSameFolder) {
    install();
    ASSERT_TRUE(remove().ok());
    const std::string after_first = fake.state_dump();
    state.done = false;
    state.folder_to_delete.reset();

    ASSERT_TRUE(remove().ok());
    EXPECT_EQ(fake.state_dump(), after_first);
    EXPECT_EQ(state.folder_to_delete, kFolder);
    EXPECT_TRUE(state.done);
}

TEST_F(Removal, UserFilesInTheFolderStay) {
    install();
    const std::vector<Path> users = {kFolder + u"\\my notes.txt", kFolder + u"\\Notes.exe.bak",
                                     kFolder + u"\\backup.OLD", kFolder + u"\\data\\cache.old"};
    for (const Path& file : users) fake.files.add_file(file, "mine");
    fake.files.add_file(kFolder + u"\\Notes.exe.7.old", "old app");

    ASSERT_TRUE(remove().ok());
    EXPECT_EQ(fake.files.list_tree(kFolder),
              (std::vector<Path>{kFolder + u"\\backup.OLD", kFolder + u"\\data", kFolder + u"\\data\\cache.old",
                                 kFolder + u"\\my notes.txt", kFolder + u"\\Notes.exe.bak", kUninstaller}));
    for (const Path& file : users) EXPECT_EQ(fake.files.text(file), "mine");
}

TEST_F(Removal, NothingInstalledStillSucceeds) {
    const std::string registry_before = fake.registry.dump();
    ASSERT_TRUE(remove().ok());
    EXPECT_EQ(fake.registry.dump(), registry_before);
    EXPECT_FALSE(fake.files.exists(kFolder));
    EXPECT_EQ(state.folder_to_delete, kFolder);
    EXPECT_TRUE(state.done);
}

TEST_F(Removal, RecordedInstallLocationIsTheFolderRemoved) {
    const Path elsewhere = u"D:\\Tools\\Notes 2";
    fake.files.add_folder(elsewhere);
    fake.files.add_file(elsewhere + u"\\Notes.exe", "app");
    fake.files.add_file(kApp, "a copy the removal must not touch");
    ASSERT_TRUE(write_uninstall_entry(fake.platform(), state.manifest,
                                      {elsewhere, elsewhere + u"\\Notes.exe", elsewhere + u"\\uninstall.exe", 1, 1})
                    .ok());
    ASSERT_TRUE(remove().ok());
    EXPECT_FALSE(fake.files.exists(elsewhere + u"\\Notes.exe"));
    EXPECT_TRUE(fake.files.exists(kApp));
    EXPECT_EQ(state.folder_to_delete, elsewhere);
}

// An entry pointed at the user's Documents, with a list naming the user's files: the list and
// the .old sweep apply only in a folder that holds the app's exe or its uninstall.exe.
TEST_F(Removal, ListedFilesGoOnlyWhereTheAppIs) {
    const Path documents = u"C:\\Users\\Ann\\Documents";
    const std::vector<Path> users = {documents + u"\\thesis.docx", documents + u"\\Work\\plan.txt",
                                     documents + u"\\report.old"};
    for (bool app_is_there : {false, true}) {
        SCOPED_TRACE(app_is_there ? "with the uninstaller there" : "no app there");
        fake::FakePlatform fresh;
        seed_other_program(fresh);
        state.platform = &fresh.platform();
        for (const Path& file : users) fresh.files.add_file(file, "mine");
        if (app_is_there) fresh.files.add_file(documents + u"\\uninstall.exe", "uninstaller");
        ASSERT_TRUE(write_uninstall_entry(fresh.platform(), state.manifest,
                                          {documents, documents + u"\\Notes.exe", documents + u"\\uninstall.exe", 1, 1})
                        .ok());
        fresh.registry.put_text(kUninstallKey, u"InstalledFiles", "thesis.docx|Work\\plan.txt");
        ASSERT_TRUE(remove_app(fresh.platform(), state).ok());
        for (const Path& file : users) EXPECT_EQ(fresh.files.exists(file), !app_is_there) << to_utf8(file);
        EXPECT_FALSE(fresh.registry.key_exists(kUninstallKey));
        state.done = false;
    }
}

TEST_F(Removal, NoDocumentTypesNoNotification) {
    state.manifest.documents.clear();
    install();
    ASSERT_TRUE(remove().ok());
    EXPECT_TRUE(fake.shell.notifications.empty());
    EXPECT_FALSE(fake.registry.key_exists(kUninstallKey));
}

TEST_F(Removal, IdThatNamesAParentKeyDeletesNoOtherProgramsKeys) {
    // The registry reads an empty path component as nothing: "Uninstall\\" is Uninstall itself,
    // "Classes\\.txt" is .txt.
    for (const char* id : {"\\", "vendor\\", "\\vendor", "a\\\\b"}) {
        SCOPED_TRACE(id);
        state.manifest.id = id;
        state.manifest.documents = {{.name = "Text", .extensions = {"txt"}, .owned = false, .icon = std::nullopt}};
        ASSERT_TRUE(remove().ok());
        EXPECT_EQ(fake.registry.text(kOtherUninstallKey, u"DisplayName"), "Other");
        EXPECT_EQ(fake.registry.text(u"Software\\Classes\\.txt", u""), "txtfile");
        EXPECT_TRUE(fake.registry.value(u"Software\\Classes\\.txt\\OpenWithProgids", u"other.txt"));
    }
}

// Windows reads a key or value name only up to a NUL, so an id or extension with one inside
// ("\u0000" in the manifest) would reach another program's key: such names are never used.
const Path kInstaller = u"C:\\Users\\Ann\\Downloads\\Setup.exe";

// A machine with another program's registrations and our installer in Downloads, and the
// state of a run about to install Notes from it.
void ready_to_install(fake::FakePlatform& fake, SetupState& state, const std::vector<std::uint8_t>& payload) {
    seed_other_program(fake);
    fake.files.add_file(kInstaller, "installer");
    state.platform = &fake.platform();
    state.manifest = notes();
    state.payload = payload;
}

TEST(NamesWithANul, NeitherInstallNorRemovalReachesAnotherProgramsKeys) {
    const std::string cut_id("other\0x", 7);
    const std::string cut_extension("txt\0x", 5);
    const std::vector<std::uint8_t> payload = testing_support::zlib_stream("the app", 6);
    for (const bool in_id : {true, false}) {
        SCOPED_TRACE(in_id ? "id" : "extension");
        fake::FakePlatform fake;
        SetupState state;
        ready_to_install(fake, state, payload);
        if (in_id) state.manifest.id = cut_id;
        else state.manifest.documents = {{.name = "Text", .extensions = {cut_extension}, .owned = true, .icon = 0}};
        const std::string before = fake.registry.dump();

        auto installed = install_app(fake.platform(), state);
        ASSERT_FALSE(installed.ok());
        EXPECT_NE(installed.error().text.find(", error 123)."), std::string::npos) << installed.error().text;
        EXPECT_EQ(fake.registry.text(kOtherUninstallKey, u"DisplayName"), "Other");
        EXPECT_EQ(fake.registry.text(u"Software\\Classes\\.txt", u""), "txtfile");

        state.remove_mode = true;
        ASSERT_TRUE(remove_app(fake.platform(), state).ok());
        EXPECT_EQ(fake.registry.dump(), before);
    }
}

// The removal undoes exactly what the real installation writes: afterwards the machine is the
// one where nothing was ever installed, but for uninstall.exe (the self-deletion's).
TEST(RemovalAfterInstall, LeavesTheMachineAsBeforeButForTheUninstaller) {
    const std::vector<std::uint8_t> payload = testing_support::zlib_stream("the app", 6);

    fake::FakePlatform fake;
    SetupState state;
    ready_to_install(fake, state, payload);
    state.desktop_shortcut = true;
    state.manifest.protocols = "notes|web+notes";
    state.manifest.app_user_model_id = "Example.Notes";
    ASSERT_TRUE(install_app(fake.platform(), state).ok());
    ASSERT_TRUE(fake.files.exists(kDesktopShortcut));
    ASSERT_TRUE(fake.registry.key_exists(u"Software\\Classes\\web+notes\\shell\\open\\command"));
    state.remove_mode = true;
    ASSERT_TRUE(remove_app(fake.platform(), state).ok());

    fake::FakePlatform untouched;
    seed_other_program(untouched);
    untouched.files.add_file(kInstaller, "installer");
    SetupState nothing_installed;
    nothing_installed.manifest = notes();
    ASSERT_TRUE(remove_app(untouched.platform(), nothing_installed).ok());
    untouched.files.add_file(kUninstaller, "installer");
    EXPECT_EQ(fake.state_dump(), untouched.state_dump());
}

}  // namespace
}  // namespace plinth
