#include "entry/damaged_installer.h"

#include <gtest/gtest.h>

#include "entry/run.h"
#include "package/container.h"
#include "platform/fake/fake_platform.h"
#include "support/zlib_stream.h"

namespace plinth {
namespace {

TEST(DamagedInstaller, InteractiveRunShowsThePageThenReportsOnStandardError) {
    fake::FakePlatform fake;
    fake.module.package = build_package(R"({"name":"Notes","id":"org.notes"})", {});
    fake.dialogs.script = {fake::UserAction::click(fake::kIdClose)};
    EXPECT_EQ(run_setup(fake.platform()), 1);
    ASSERT_EQ(fake.dialogs.pages.size(), 1u);
    const fake::ShownPage& page = fake.dialogs.pages[0];
    EXPECT_EQ(page.window_title, "Setup");
    EXPECT_EQ(page.main_instruction, "This installer is damaged");
    EXPECT_EQ(page.content, "Its contents can't be read.");
    EXPECT_TRUE(page.buttons.empty());
    EXPECT_EQ(page.config.common_buttons, 0x20u);
    EXPECT_EQ(page.config.flags, 0x08u);
    EXPECT_EQ(page.config.main_icon, 0xFFFEu);
    EXPECT_EQ(page.config.callback_data, nullptr);
    EXPECT_NE(page.config.callback, nullptr);
    EXPECT_TRUE(fake.dialogs.refused_actions.empty());
    EXPECT_EQ(fake.session.standard_error, "setup: Its contents can't be read.\n");
}

TEST(DamagedInstaller, ADialogThatCantBeShownChangesNothingElse) {
    fake::FakePlatform fake;
    fake.module.package.reset();
    fake.faults.fail("dialogs.show", 0x80070578u);
    EXPECT_EQ(run_setup(fake.platform()), 1);
    EXPECT_EQ(fake.dialogs.dialogs_shown, 0);
    EXPECT_EQ(fake.session.standard_error, "setup: It has nothing in it to install.\n");
}

// A package whose "exe" would reach a file other than the app's (a path out of the install
// folder, the installer's own copy, a leftover's name, a device) is refused as it loads, in
// every run: on a machine where the app is installed and files sit where those names point,
// nothing is written and nothing is deleted.
TEST(DamagedInstaller, ExeThatIsNotAPlainFileNameIsRefusedInEveryRun) {
    const Path local = u"C:\\Users\\Ann\\AppData\\Local";
    const Path folder = local + u"\\Programs\\Notes";
    const Path installer = u"C:\\Users\\Ann\\Downloads\\Setup.exe";
    const auto package = [](const std::string& exe_json) {
        return build_package(R"({"name":"Notes","id":"org.notes","version":"1.0","exe":)" + exe_json + "}",
                             testing_support::zlib_stream("MZ the new app"));
    };
    const char* const exes[] = {
        R"("..\\..\\x.exe")", R"("../x.exe")",     R"("C:x.exe")",       R"("x?.exe")", R"("x\u0001.exe")",
        R"(".")",             R"("..")",           R"("CON")",           R"("nul.exe")", R"("conout$")",
        R"("Uninstall.exe")", R"("UNINSTALL.EXE")", R"("Notes.exe.1.old")", R"("x.OLD")",
    };
    const std::vector<std::u16string> runs[] = {{}, {u"/S"}, {u"/uninstall"}, {u"/uninstall", u"/S"}};
    for (const char* exe : exes) {
        for (const auto& switches : runs) {
            const bool silent = !switches.empty() && switches.back() == u"/S";
            SCOPED_TRACE(std::string(exe) + " with " + to_utf8(switches.empty() ? u"" : switches[0]) +
                         (silent ? " silent" : ""));
            fake::FakePlatform fake;
            fake.module.path = installer;
            fake.files.add_file(installer, "MZ the installer");
            // The app installed by an intact package, and files where the names above point.
            fake.module.package = package(R"("Notes.exe")");
            fake.session.command_line = {installer, u"/S"};
            ASSERT_EQ(run_setup(fake.platform()), 0);
            for (const Path& planted :
                 {local + u"\\x.exe", folder + u"\\x.exe", folder + u"\\x.OLD", folder + u"\\Notes.exe.1.old"}) {
                fake.files.add_file(planted, "someone's file");
            }
            fake.processes.started.clear();
            const std::string before = fake.state_dump();

            fake.module.package = package(exe);
            fake.session.command_line = {installer};
            fake.session.command_line.insert(fake.session.command_line.end(), switches.begin(), switches.end());
            fake.dialogs.script = {fake::UserAction::click(fake::kIdClose)};
            EXPECT_EQ(run_setup(fake.platform()), 1);
            EXPECT_EQ(fake.state_dump(), before);
            EXPECT_TRUE(fake.processes.started.empty());
            EXPECT_EQ(fake.session.standard_error, "setup: Its contents can't be read.\n");
            if (silent) {
                EXPECT_EQ(fake.dialogs.dialogs_shown, 0);
            } else {
                ASSERT_EQ(fake.dialogs.pages.size(), 1u);
                EXPECT_EQ(fake.dialogs.pages[0].main_instruction, "This installer is damaged");
                EXPECT_EQ(fake.dialogs.pages[0].content, "Its contents can't be read.");
            }
        }
    }
}

}  // namespace
}  // namespace plinth
