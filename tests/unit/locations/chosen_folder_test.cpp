#include "locations/chosen_folder.h"

#include <gtest/gtest.h>

#include "entry/run.h"
#include "package/container.h"
#include "platform/fake/fake_platform.h"
#include "support/zlib_stream.h"

namespace plinth {
namespace {

AppManifest notes() {
    AppManifest manifest;
    manifest.name = "Notes";
    manifest.id = "org.notes";
    manifest.exe = "notes.exe";
    return manifest;
}

// A machine with the usual system folders, a network drive Z: and a CD drive R:.
void seed(fake::FakePlatform& fake) {
    fake.shell.set_environment(u"SystemRoot", u"C:\\Windows");
    fake.shell.set_environment(u"ProgramFiles", u"C:\\Program Files");
    fake.shell.set_environment(u"ProgramFiles(x86)", u"C:\\Program Files (x86)");
    fake.shell.set_environment(u"USERPROFILE", u"C:\\Users\\Ann");
    fake.files.drive_types[u'Z'] = 4;
    fake.files.drive_types[u'R'] = 5;
    fake.files.add_file(u"C:\\Users\\Ann\\Busy\\letter.txt", "text");
    fake.files.add_file(u"C:\\Users\\Ann\\Old Notes\\notes.exe", "MZ");
    fake.files.add_file(u"C:\\Users\\Ann\\a file", "text");
    fake.files.add_folder(u"C:\\Users\\Ann\\Empty");
    fake.files.add_folder(u"D:\\");
}

TEST(ChosenFolder, TheRulesOfAFolderTheUserChose) {
    struct Case {
        const char16_t* chosen;
        const char* refused;  // a part of the reason, or null when the folder is taken
        const char16_t* taken = nullptr;  // the folder taken, when it differs from the one written
    };
    const Case cases[] = {
        {u"D:\\Apps\\Notes", nullptr},
        {u"C:\\Users\\Ann\\Apps\\Notes\\", nullptr, u"C:\\Users\\Ann\\Apps\\Notes"},
        {u"c:/Users/Ann/Apps/Notes", nullptr, u"c:\\Users\\Ann\\Apps\\Notes"},
        {u"C:\\Users\\Ann\\Empty", nullptr},
        {u"C:\\Users\\Ann\\Old Notes", nullptr},
        {u"C:\\Users\\Ann\\Program Files Backup\\Notes", nullptr},
        {u"Apps\\Notes", "it isn't a full path"},
        {u"C:Notes", "it isn't a full path"},
        {u"\\Apps\\Notes", "it isn't a full path"},
        {u"\\\\server\\share\\Notes", "it is a network or device path"},
        {u"\\\\?\\C:\\Notes", "it is a network or device path"},
        {u"C:\\", "it is a drive's root"},
        {u"D:", "it is a drive's root"},
        {u"C:\\Apps\\..\\Windows", "an empty, . or .. part"},
        {u"C:\\Apps\\\\Notes", "an empty, . or .. part"},
        {u"C:\\Apps\\No<tes", "a character Windows doesn't allow"},
        {u"C:\\Apps\\Notes.", "ends in a space or a dot"},
        {u"Z:\\Notes", "it is on a network drive"},
        {u"R:\\Notes", "it isn't on a local drive"},
        {u"C:\\Windows", "the Windows folder or inside it"},
        {u"c:\\windows\\Notes", "the Windows folder or inside it"},
        {u"C:\\Program Files\\Notes", "it is in Program Files"},
        {u"C:\\PROGRAM FILES (X86)", "it is in Program Files"},
        {u"C:\\Users\\Ann", "it is your profile folder itself"},
        {u"C:\\Users\\Ann\\", "it is your profile folder itself"},
        {u"C:\\Users\\Ann\\a file", "it is a file"},
        {u"C:\\Users\\Ann\\Busy", "it already holds other files"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(to_utf8(c.chosen));
        fake::FakePlatform fake;
        seed(fake);
        const auto checked = check_chosen_folder(fake.platform(), notes(), c.chosen);
        if (c.refused == nullptr) {
            ASSERT_TRUE(checked.ok()) << checked.error().text;
            EXPECT_EQ(*checked, c.taken ? Path(c.taken) : Path(c.chosen));
        } else {
            ASSERT_FALSE(checked.ok());
            EXPECT_TRUE(checked.error().text.starts_with("Can't install into " + to_utf8(c.chosen) + ": "))
                << checked.error().text;
            EXPECT_NE(checked.error().text.find(c.refused), std::string::npos) << checked.error().text;
        }
    }
}

std::vector<std::uint8_t> package(const char* version) {
    return build_package(std::string(R"({"name":"Notes","id":"org.notes","exe":"notes.exe","version":")") + version + "\"}",
                         testing_support::zlib_stream(std::vector<std::uint8_t>{'M', 'Z'}, 6));
}

// /dir= over whole runs: a fresh install goes there, an update and a removal keep to it whatever
// /dir= says, and a refused folder ends the run before anything is written.
TEST(ChosenFolder, AFreshInstallGoesThereAndLaterRunsKeepToIt) {
    fake::FakePlatform fake;
    seed(fake);
    const Path chosen = u"D:\\Apps\\My Notes";
    const std::u16string key = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\org.notes";
    const auto run = [&](const char* version, std::vector<std::u16string> arguments) {
        fake.module.package = package(version);
        if (!fake.files.exists(fake.module.path)) fake.files.add_file(fake.module.path, "setup");
        fake.session.command_line = {fake.module.path};
        fake.session.command_line.insert(fake.session.command_line.end(), arguments.begin(), arguments.end());
        fake.session.standard_error.clear();
        return run_setup(fake.platform());
    };

    fake.files.add_file(fake.module.path, "setup");
    const std::string before = fake.state_dump();
    EXPECT_EQ(run("1.0", {u"/S", u"/dir=C:\\Windows\\Notes"}), 1);
    EXPECT_EQ(fake.session.standard_error,
              "setup: Can't install into C:\\Windows\\Notes: it is the Windows folder or inside it.\n");
    EXPECT_EQ(fake.state_dump(), before) << "nothing written";
    EXPECT_EQ(run("1.0", {u"/S", u"/dir="}), 1);
    EXPECT_EQ(fake.session.standard_error, "setup: /dir= needs a folder, as in /dir=C:\\Apps\\Notes.\n");

    EXPECT_EQ(run("1.0", {u"/S", u"--DIR=" + chosen}), 0) << fake.session.standard_error;
    EXPECT_TRUE(fake.files.exists(chosen + u"\\notes.exe"));
    EXPECT_TRUE(fake.files.exists(chosen + u"\\uninstall.exe"));
    EXPECT_EQ(fake.registry.text(key, u"InstallLocation"), to_utf8(chosen));

    // An update with another /dir=, even a refused one: the installed folder wins.
    EXPECT_EQ(run("2.0", {u"/S", u"/dir=C:\\Windows"}), 0);
    EXPECT_EQ(fake.registry.text(key, u"DisplayVersion"), "2.0");
    EXPECT_EQ(fake.registry.text(key, u"InstallLocation"), to_utf8(chosen));
    EXPECT_FALSE(fake.files.exists(u"C:\\Windows\\notes.exe"));

    fake.module.path = chosen + u"\\uninstall.exe";
    EXPECT_EQ(run("2.0", {u"/uninstall", u"/S", u"/dir=D:\\Elsewhere"}), 0);
    EXPECT_FALSE(fake.files.exists(chosen + u"\\notes.exe"));
    EXPECT_FALSE(fake.registry.text(key, u"DisplayVersion"));
}

}  // namespace
}  // namespace plinth
