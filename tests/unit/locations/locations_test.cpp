#include <gtest/gtest.h>

#include "locations/install_folder.h"
#include "locations/known_folders.h"
#include "locations/shortcut_list.h"
#include "platform/fake/fake_platform.h"

namespace plinth {
namespace {

using platform::KnownFolder;

const std::u16string kUninstallKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\com.example.notes";
const Path kUserPrograms = u"C:\\Users\\Ann\\AppData\\Local\\Programs";

AppManifest notes() {
    return {.name = "Notes: Pro.", .id = "com.example.notes", .version = "1.0", .exe = "Notes.exe"};
}

TEST(KnownFolders, AskTheShellToCreateTheFolder) {
    fake::FakePlatform fake;
    auto path = known_folder_path(fake.platform(), KnownFolder::desktop);
    ASSERT_TRUE(path.ok());
    EXPECT_EQ(*path, u"C:\\Users\\Ann\\Desktop");
    EXPECT_EQ(fake.shell.known_folder_flags, std::vector<std::uint32_t>{0x8000});
}

TEST(KnownFolders, FailureIsTheComErrorText) {
    fake::FakePlatform fake;
    fake.shell.fail_known_folder(KnownFolder::desktop, platform::codes::kEFail, u"No desktop here.\r\n");
    auto path = known_folder_path(fake.platform(), KnownFolder::desktop);
    ASSERT_FALSE(path.ok());
    EXPECT_EQ(path.error().text, "No desktop here.");
}

TEST(InstallFolder, DefaultIsTheUserProgramFolderAndTheFolderName) {
    fake::FakePlatform fake;
    EXPECT_EQ(install_folder(fake.platform(), notes()), kUserPrograms + u"\\Notes Pro");
    EXPECT_EQ(fake.shell.known_folder_flags, std::vector<std::uint32_t>{0x8000});
}

TEST(InstallFolder, RecordedLocationIsUsedVerbatimOnlyWhenItIsAnExistingFolder) {
    struct Case {
        const char* name;
        bool make_folder;
        bool make_file;
        bool recorded;
        Path expected;
    };
    const Path recorded = u"D:\\Old Place\\Notes (old name)";
    const Case cases[] = {
        {"existing folder", true, false, true, recorded},
        {"a file", false, true, true, kUserPrograms + u"\\Notes Pro"},
        {"gone", false, false, true, kUserPrograms + u"\\Notes Pro"},
        {"not recorded", true, false, false, kUserPrograms + u"\\Notes Pro"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakePlatform fake;
        if (c.make_folder) fake.files.add_folder(recorded);
        if (c.make_file) fake.files.add_file(recorded, "x");
        if (c.recorded) fake.registry.put_text(kUninstallKey, u"InstallLocation", to_utf8(recorded));
        EXPECT_EQ(install_folder(fake.platform(), notes()), c.expected);
    }
}

TEST(InstallFolder, RecordedLocationOfAnotherTypeOrUnreadableIsIgnored) {
    fake::FakePlatform fake;
    fake.files.add_folder(u"D:\\Old");
    fake.registry.put_value(kUninstallKey, u"InstallLocation", 2, {'D', 0, ':', 0, '\\', 0, 'O', 0, 0, 0});
    EXPECT_EQ(install_folder(fake.platform(), notes()), kUserPrograms + u"\\Notes Pro");
    fake.registry.put_text(kUninstallKey, u"InstallLocation", "D:\\Old");
    fake.faults.fail("files.metadata", 5);
    EXPECT_EQ(install_folder(fake.platform(), notes()), kUserPrograms + u"\\Notes Pro");
}

TEST(InstallFolder, IdIsUsedUnchangedInTheKeyPath) {
    fake::FakePlatform fake;
    AppManifest manifest = notes();
    manifest.id = "Vendor\\Notes Ü";
    fake.files.add_folder(u"D:\\Here");
    fake.registry.put_text(u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vendor\\Notes Ü",
                           u"InstallLocation", "D:\\Here");
    EXPECT_EQ(install_folder(fake.platform(), manifest), u"D:\\Here");
}

TEST(InstallFolder, FallsBackToLocalAppDataThenToARelativePath) {
    fake::FakePlatform fake;
    fake.shell.fail_known_folder(KnownFolder::user_program_files, platform::codes::kEFail);
    fake.shell.set_environment(u"LOCALAPPDATA", u"E:\\Data\\");
    EXPECT_EQ(install_folder(fake.platform(), notes()), u"E:\\Data\\Programs\\Notes Pro");
    fake.shell.set_environment(u"LOCALAPPDATA", u"E:\\Data");
    EXPECT_EQ(install_folder(fake.platform(), notes()), u"E:\\Data\\Programs\\Notes Pro");
    fake.shell.set_environment(u"LOCALAPPDATA", std::nullopt);
    EXPECT_EQ(install_folder(fake.platform(), notes()), u"Programs\\Notes Pro");
}

TEST(InstallFolder, KnownFolderEndingInASeparatorGetsNoSecondOne) {
    fake::FakePlatform fake;
    fake.shell.set_known_folder(KnownFolder::user_program_files, u"C:\\");
    EXPECT_EQ(install_folder(fake.platform(), notes()), u"C:\\Notes Pro");
}

TEST(ShortcutList, StartMenuThenDesktopWithFailedLookupsSkipped) {
    const Path start = u"C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Notes Pro.lnk";
    const Path desktop = u"C:\\Users\\Ann\\Desktop\\Notes Pro.lnk";
    struct Case {
        const char* name;
        bool programs_fails;
        bool desktop_fails;
        std::vector<Path> expected;
    };
    const Case cases[] = {
        {"both", false, false, {start, desktop}},
        {"no Start menu", true, false, {desktop}},
        {"no desktop", false, true, {start}},
        {"neither", true, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakePlatform fake;
        if (c.programs_fails) fake.shell.fail_known_folder(KnownFolder::programs, platform::codes::kEFail);
        if (c.desktop_fails) fake.shell.fail_known_folder(KnownFolder::desktop, platform::codes::kEFail);
        EXPECT_EQ(shortcut_list(fake.platform(), "Notes: Pro."), c.expected);
        EXPECT_EQ(fake.shell.known_folder_flags, (std::vector<std::uint32_t>{0x8000, 0x8000}));
    }
}

TEST(InstallFolder, KnownFolderWithAnUnpairedSurrogateIsKeptAsWindowsGaveIt) {
    // Such a name is a valid Windows path; emptying it would send the app into the current folder.
    fake::FakePlatform fake;
    const Path odd = std::u16string(u"C:\\Users\\Ann") + char16_t(0xDC00) + u"\\Programs";
    fake.shell.set_known_folder(KnownFolder::user_program_files, odd);
    EXPECT_EQ(install_folder(fake.platform(), notes()), odd + u"\\Notes Pro");
}

TEST(ShortcutList, EmptyNameGivesAppLnk) {
    fake::FakePlatform fake;
    auto list = shortcut_list(fake.platform(), " ... ");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1], u"C:\\Users\\Ann\\Desktop\\App.lnk");
}

}  // namespace
}  // namespace plinth
