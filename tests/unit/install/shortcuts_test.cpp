#include "install/shortcuts.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace plinth {
namespace {

using platform::KnownFolder;

const Path kApp = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Tools\\Tools.exe";
const Path kStartMenu = u"C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Tools.lnk";
const Path kDesktop = u"C:\\Users\\Ann\\Desktop\\Tools.lnk";

std::vector<Path> saved_paths(const fake::FakePlatform& fake) {
    std::vector<Path> paths;
    for (const auto& wanted : fake.shell.shortcuts) paths.push_back(wanted.shortcut_path);
    return paths;
}

TEST(CreateShortcuts, TheDesktopOneOnlyWithTheFlagAndAlwaysAfterTheStartMenu) {
    for (bool desktop : {false, true}) {
        SCOPED_TRACE(desktop);
        fake::FakePlatform fake;
        ASSERT_TRUE(create_shortcuts(fake.platform(), kApp, "Tools...", desktop).ok());
        const std::vector<Path> expected = desktop ? std::vector<Path>{kStartMenu, kDesktop} : std::vector<Path>{kStartMenu};
        EXPECT_EQ(saved_paths(fake), expected);
        EXPECT_EQ(fake.files.exists(kDesktop), desktop);
        // The desktop folder is looked up either way.
        EXPECT_EQ(fake.shell.known_folder_flags.size(), 2u);
    }
}

TEST(CreateShortcuts, LinkRecordsTargetWorkingFolderAndTheNameVerbatim) {
    fake::FakePlatform fake;
    ASSERT_TRUE(create_shortcuts(fake.platform(), kApp, "Tools...", false).ok());
    ASSERT_EQ(fake.shell.shortcuts.size(), 1u);
    const auto& wanted = fake.shell.shortcuts[0];
    EXPECT_EQ(wanted.target_path, kApp);
    EXPECT_EQ(wanted.working_directory, Path(u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Tools"));
    EXPECT_EQ(wanted.description, u"Tools...");
}

TEST(CreateShortcuts, TheAppUserModelIdGoesOnBothShortcuts) {
    fake::FakePlatform fake;
    ASSERT_TRUE(create_shortcuts(fake.platform(), kApp, "Tools", true, "Example.Tools").ok());
    ASSERT_EQ(fake.shell.shortcuts.size(), 2u);
    for (const auto& wanted : fake.shell.shortcuts) EXPECT_EQ(wanted.app_user_model_id, u"Example.Tools");

    EXPECT_NE(fake.files.text(kDesktop)->find("app user model id=Example.Tools\n"), std::string::npos);

    fake::FakePlatform without;
    ASSERT_TRUE(create_shortcuts(without.platform(), kApp, "Tools", true).ok());
    for (const auto& wanted : without.shell.shortcuts) EXPECT_TRUE(wanted.app_user_model_id.empty());
}

TEST(CreateShortcuts, AnAppPathWithoutAFolderSetsNoWorkingFolder) {
    fake::FakePlatform fake;
    ASSERT_TRUE(create_shortcuts(fake.platform(), u"Tools.exe", "Tools", false).ok());
    ASSERT_EQ(fake.shell.shortcuts.size(), 1u);
    EXPECT_FALSE(fake.shell.shortcuts[0].working_directory.has_value());

    // An app at a drive's root (a recorded install folder of C:\) starts in the root itself.
    ASSERT_TRUE(create_shortcuts(fake.platform(), u"C:\\Tools.exe", "Tools", false).ok());
    ASSERT_EQ(fake.shell.shortcuts.size(), 2u);
    EXPECT_EQ(fake.shell.shortcuts[1].working_directory, Path(u"C:\\"));
}

TEST(CreateShortcuts, AMissingStartMenuMakesTheDesktopTheFirstEntry) {
    fake::FakePlatform fake;
    fake.shell.fail_known_folder(KnownFolder::programs, platform::codes::kEFail);
    ASSERT_TRUE(create_shortcuts(fake.platform(), kApp, "Tools", false).ok());
    EXPECT_EQ(saved_paths(fake), std::vector<Path>{kDesktop});

    fake::FakePlatform neither;
    neither.shell.fail_known_folder(KnownFolder::programs, platform::codes::kEFail);
    neither.shell.fail_known_folder(KnownFolder::desktop, platform::codes::kEFail);
    ASSERT_TRUE(create_shortcuts(neither.platform(), kApp, "Tools", true).ok());
    EXPECT_TRUE(neither.shell.shortcuts.empty());
}

TEST(CreateShortcuts, AFailureNamesTheShortcutAndKeepsWhatWasWritten) {
    fake::FakePlatform fake;
    fake.faults.fail_on_path("shell.create_shortcut", kDesktop, static_cast<std::uint32_t>(platform::codes::kEFail));
    const auto result = create_shortcuts(fake.platform(), kApp, "Tools", true);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().text, "Can't add the shortcut " + to_utf8(kDesktop) + ": Unspecified error");
    EXPECT_TRUE(fake.files.exists(kStartMenu));
}

TEST(CreateShortcuts, ASaveRefusedByTheFileSystemStopsBeforeTheDesktop) {
    // A Save that fails in the file system: the fake reports the HRESULT of the Win32 error.
    fake::FakePlatform fake;
    fake.faults.fail_on_path("files.write_file", kStartMenu, platform::codes::kAccessDenied);
    const auto result = create_shortcuts(fake.platform(), kApp, "Tools", true);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().text, "Can't add the shortcut " + to_utf8(kStartMenu) + ": Access is denied.");
    EXPECT_FALSE(fake.files.exists(kDesktop));
}

}  // namespace
}  // namespace plinth
