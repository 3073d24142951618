#include "entry/interactive_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "entry/run.h"
#include "package/container.h"
#include "platform/fake/fake_platform.h"
#include "support/zlib_stream.h"

namespace plinth {
namespace {

using fake::UserAction;

constexpr char16_t kUninstallKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\com.example.sketchpad";
constexpr char16_t kFolder[] = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Sketch Pad";
constexpr char16_t kDesktopShortcut[] = u"C:\\Users\\Ann\\Desktop\\Sketch Pad.lnk";

class InteractiveRun : public testing::Test {
protected:
    InteractiveRun() {
        use_manifest("Sketch Pad", "2.0");
        // A user's machine has its known folders already (looking one up would create it).
        fake.files.add_folder(u"C:\\Users\\Ann\\AppData\\Local\\Programs");
        fake.files.add_folder(u"C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs");
        fake.files.add_folder(u"C:\\Users\\Ann\\Desktop");
    }

    void use_manifest(const std::string& name, const std::string& version) {
        const std::string json = R"({"name":")" + name + R"(","id":"com.example.sketchpad","version":")" + version +
                                 R"(","publisher":"Example","exe":"SketchPad.exe"})";
        fake.module.package = build_package(json, testing_support::zlib_stream("MZ the app"));
        fake.files.add_file(fake.module.path, "MZ the installer");
    }
    int run(std::vector<std::u16string> arguments = {}) {
        fake.session.command_line = {fake.module.path};
        fake.session.command_line.insert(fake.session.command_line.end(), arguments.begin(), arguments.end());
        return run_setup(fake.platform());
    }
    std::string instruction(std::size_t page) const { return fake.dialogs.pages.at(page).main_instruction.value_or("<none>"); }

    // A finished install, with the dialog's records cleared, as a later run finds it.
    void install_first() {
        fake.dialogs.script = {UserAction::click(100), UserAction::click(fake::kIdClose)};
        ASSERT_EQ(run(), 0);
        fake.dialogs.pages.clear();
        fake.processes.started.clear();
        fake.faults.reset();
    }

    fake::FakePlatform fake;
};

TEST_F(InteractiveRun, FirstPageWordingFollowsTheRecordedVersion) {
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {std::nullopt, "Install Sketch Pad 2.0?"},
        {"2.0", "Install Sketch Pad 2.0 again?"},
        {"10.0", "Update Sketch Pad from 10.0 to 2.0?"},
        {"2.0.0", "Update Sketch Pad from 2.0.0 to 2.0?"},
        {"", "Update Sketch Pad from  to 2.0?"},
    };
    for (const auto& [recorded, expected] : cases) {
        SCOPED_TRACE(expected);
        fake.dialogs.pages.clear();
        if (recorded) fake.registry.put_text(kUninstallKey, u"DisplayVersion", *recorded);
        fake.dialogs.script = {UserAction::click(fake::kIdCancel)};
        EXPECT_EQ(run(), 2);
        ASSERT_EQ(fake.dialogs.pages.size(), 1u);
        const fake::ShownPage& page = fake.dialogs.pages[0];
        EXPECT_EQ(page.main_instruction, expected);
        EXPECT_EQ(page.window_title, "Sketch Pad Setup");
        EXPECT_EQ(page.content, "It's installed for you only, in C:\\Users\\Ann\\AppData\\Local\\Programs\\Sketch Pad.");
        EXPECT_EQ(page.verification_text, "Add a shortcut to the desktop");
        EXPECT_EQ(page.buttons, (std::vector<std::pair<std::int32_t, std::string>>{{100, "Install"}}));
        fake.registry.delete_tree(kUninstallKey);
    }
}

TEST_F(InteractiveRun, DisplayVersionOfAnotherTypeCountsAsNone) {
    fake.registry.put_value(kUninstallKey, u"DisplayVersion", fake::kRegDword, {2, 0, 0, 0});
    fake.dialogs.script = {UserAction::click(fake::kIdCancel)};
    EXPECT_EQ(run(), 2);
    EXPECT_EQ(instruction(0), "Install Sketch Pad 2.0?");
}

TEST_F(InteractiveRun, RemovePageMakesNoRegistryRead) {
    fake.registry.put_text(kUninstallKey, u"DisplayVersion", "1.0");
    fake.dialogs.script = {UserAction::click(fake::kIdCancel)};
    EXPECT_EQ(run({u"/uninstall"}), 2);
    EXPECT_EQ(instruction(0), "Remove Sketch Pad?");
    EXPECT_EQ(fake.dialogs.pages[0].content,
              "Sketch Pad will be removed from this computer. The documents you made with it stay where they are.");
    EXPECT_EQ(fake.dialogs.pages[0].buttons, (std::vector<std::pair<std::int32_t, std::string>>{{100, "Remove"}}));
    EXPECT_FALSE(fake.dialogs.pages[0].verification_text.has_value());
    for (const std::string& call : fake.faults.call_log()) EXPECT_EQ(call.rfind("registry.", 0), std::string::npos) << call;
}

TEST_F(InteractiveRun, CancelOrCloseOnTheFirstPageChangesNothing) {
    for (const UserAction action : {UserAction::click(fake::kIdCancel), UserAction::close()}) {
        for (const bool remove : {false, true}) {
            SCOPED_TRACE(remove ? "remove" : "install");
            const std::string before = fake.state_dump();
            fake.dialogs.script = {UserAction::set_check_box(true), action};
            if (remove) fake.dialogs.script.pop_front();
            EXPECT_EQ(run(remove ? std::vector<std::u16string>{u"/uninstall"} : std::vector<std::u16string>{}), 2);
            EXPECT_EQ(fake.state_dump(), before);
            EXPECT_TRUE(fake.processes.started.empty());
            EXPECT_TRUE(fake.dialogs.refused_actions.empty());
        }
    }
}

TEST_F(InteractiveRun, ADialogThatCantBeShownEndsLikeACancel) {
    const std::string before = fake.state_dump();
    fake.faults.fail("dialogs.show", 0x80004005u);
    EXPECT_EQ(run(), 2);
    EXPECT_EQ(fake.state_dump(), before);
    EXPECT_TRUE(fake.processes.started.empty());
}

TEST_F(InteractiveRun, FailedInstallShowsTheFailurePageAndExitsOne) {
    fake.faults.fail("files.create_folder_tree", 5);
    fake.dialogs.script = {UserAction::click(100), UserAction::click(fake::kIdClose)};
    EXPECT_EQ(run(), 1);
    ASSERT_EQ(fake.dialogs.pages.size(), 2u);
    const fake::ShownPage& page = fake.dialogs.pages[1];
    EXPECT_EQ(page.window_title, "Sketch Pad Setup");
    EXPECT_EQ(page.main_instruction, "Sketch Pad couldn't be installed");
    EXPECT_EQ(page.content, std::string("Can't create the folder ") +
                                "C:\\Users\\Ann\\AppData\\Local\\Programs\\Sketch Pad: Access is denied. (os error 5)");
    EXPECT_EQ(page.config.main_icon, 0xFFFEu);
    EXPECT_EQ(page.config.flags, 0x0008u);
    EXPECT_TRUE(fake.processes.started.empty());
    EXPECT_EQ(fake.session.standard_error, "");  // shown on the page, not written
}

// A NUL in a name quoted by a failure text shows as \0: on the page it would end the text, and
// the silent run's line would carry a NUL byte.
TEST_F(InteractiveRun, NulInAFailureTextIsShownVisiblyOnThePageAndTheLine) {
    const std::string expected =
        "Can't write to the registry (Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\com.example\\0pad, "
        "error 123).";
    fake.module.package = build_package(R"({"name":"Sketch Pad","id":"com.example\u0000pad","exe":"SketchPad.exe"})",
                                        testing_support::zlib_stream("MZ the app"));
    fake.dialogs.script = {UserAction::click(100), UserAction::click(fake::kIdClose)};
    EXPECT_EQ(run(), 1);
    ASSERT_EQ(fake.dialogs.pages.size(), 2u);
    EXPECT_EQ(fake.dialogs.pages[1].content, expected);

    EXPECT_EQ(run({u"/S"}), 1);
    EXPECT_EQ(fake.session.standard_error, "setup: " + expected + "\n");
}

TEST_F(InteractiveRun, TickedThenClearedCheckBoxMakesNoDesktopShortcut) {
    fake.dialogs.script = {UserAction::set_check_box(true), UserAction::set_check_box(false), UserAction::click(100),
                           UserAction::click(fake::kIdClose)};
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(instruction(1), "Sketch Pad is installed");
    EXPECT_FALSE(fake.files.exists(kDesktopShortcut));
    EXPECT_TRUE(fake.files.exists(u"C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Sketch Pad.lnk"));
}

TEST_F(InteractiveRun, TickedCheckBoxMakesTheDesktopShortcut) {
    fake.dialogs.script = {UserAction::set_check_box(true), UserAction::click(100), UserAction::click(fake::kIdClose)};
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(fake.files.exists(kDesktopShortcut));
}

TEST_F(InteractiveRun, InstalledPageThenOpenStartsTheApp) {
    fake.dialogs.script = {UserAction::click(100), UserAction::click(101)};
    EXPECT_EQ(run(), 0);
    ASSERT_EQ(fake.dialogs.pages.size(), 2u);
    const fake::ShownPage& page = fake.dialogs.pages[1];
    EXPECT_EQ(page.window_title, "Sketch Pad Setup");
    EXPECT_EQ(page.main_instruction, "Sketch Pad is installed");
    EXPECT_EQ(page.content, "You'll find it in the Start menu.");
    EXPECT_EQ(page.buttons, (std::vector<std::pair<std::int32_t, std::string>>{{101, "Open Sketch Pad"}}));
    EXPECT_EQ(page.config.common_buttons, 0x20u);
    EXPECT_EQ(page.config.flags, 0x000Au);
    EXPECT_EQ(fake.files.text(std::u16string(kFolder) + u"\\SketchPad.exe"), "MZ the app");

    ASSERT_EQ(fake.processes.started.size(), 1u);
    const platform::ProcessStart& start = fake.processes.started[0];
    EXPECT_EQ(start.application, std::u16string(kFolder) + u"\\SketchPad.exe");
    EXPECT_EQ(start.command_line, u"\"" + std::u16string(kFolder) + u"\\SketchPad.exe\"");
    EXPECT_EQ(start.creation_flags, 0u);
    EXPECT_FALSE(start.inherit_handles);
    EXPECT_FALSE(start.current_directory.has_value());  // the installer's own working folder
}

TEST_F(InteractiveRun, OpenThatFailsToStartChangesNothingAboutTheRun) {
    fake.faults.fail("processes.start", 2);
    fake.dialogs.script = {UserAction::click(100), UserAction::click(101)};
    EXPECT_EQ(run(), 0);
}

TEST_F(InteractiveRun, CloseOrCancelAfterASuccessStartsNothing) {
    for (const UserAction action : {UserAction::click(fake::kIdClose), UserAction::close()}) {
        fake.dialogs.script = {UserAction::click(100), action};
        EXPECT_EQ(run(), 0);
        EXPECT_TRUE(fake.processes.started.empty());
    }
}

TEST_F(InteractiveRun, ReinstallAndUpdateReadTheRecordedVersion) {
    install_first();
    fake.dialogs.script = {UserAction::click(fake::kIdCancel)};
    EXPECT_EQ(run(), 2);
    EXPECT_EQ(instruction(0), "Install Sketch Pad 2.0 again?");

    fake.dialogs.pages.clear();
    use_manifest("Sketch Pad", "2.1");
    fake.dialogs.script = {UserAction::click(100), UserAction::click(fake::kIdClose)};
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(instruction(0), "Update Sketch Pad from 2.0 to 2.1?");
    EXPECT_EQ(fake.registry.text(kUninstallKey, u"DisplayVersion"), "2.1");
}

TEST_F(InteractiveRun, RemovalShowsTheRemovedPageAndStartsTheSelfDeletion) {
    install_first();
    fake.dialogs.script = {UserAction::click(100), UserAction::click(fake::kIdClose)};
    EXPECT_EQ(run({u"/uninstall"}), 0);
    ASSERT_EQ(fake.dialogs.pages.size(), 2u);
    EXPECT_EQ(instruction(1), "Sketch Pad is removed");
    EXPECT_FALSE(fake.dialogs.pages[1].content.has_value());
    EXPECT_TRUE(fake.dialogs.pages[1].buttons.empty());
    EXPECT_FALSE(fake.files.exists(std::u16string(kFolder) + u"\\SketchPad.exe"));
    EXPECT_FALSE(fake.registry.key_exists(kUninstallKey));
    ASSERT_EQ(fake.processes.started.size(), 1u);
    EXPECT_NE(fake.processes.started[0].command_line.find(u"cmd.exe"), std::u16string::npos);
}

TEST_F(InteractiveRun, FailedRemovalShowsTheRemovalsTextAndExitsOne) {
    install_first();
    fake.files.set_attributes(std::u16string(kFolder) + u"\\SketchPad.exe", {.running = true});
    fake.dialogs.script = {UserAction::click(100), UserAction::click(fake::kIdClose)};
    EXPECT_EQ(run({u"/uninstall"}), 1);
    ASSERT_EQ(fake.dialogs.pages.size(), 2u);
    EXPECT_EQ(instruction(1), "Sketch Pad couldn't be removed");
    EXPECT_EQ(fake.dialogs.pages[1].content, "Sketch Pad is open. Quit it, then try again.");
    EXPECT_TRUE(fake.processes.started.empty());  // no self-deletion after a failure
}

TEST_F(InteractiveRun, TextsOutsideTheBmpSurviveEveryPage) {
    const std::string name = "Caf\xC3\xA9 \xF0\x9F\x8E\xA8";  // é and U+1F3A8
    use_manifest(name, "\xF0\x9D\x9F\x99");                      // U+1D7D9, a digit outside the BMP
    fake.dialogs.script = {UserAction::click(100), UserAction::click(fake::kIdClose)};
    EXPECT_EQ(run(), 0);
    ASSERT_EQ(fake.dialogs.pages.size(), 2u);
    EXPECT_EQ(fake.dialogs.pages[0].window_title, name + " Setup");
    EXPECT_EQ(instruction(0), "Install " + name + " \xF0\x9D\x9F\x99?");
    EXPECT_EQ(fake.dialogs.pages[0].content,
              "It's installed for you only, in C:\\Users\\Ann\\AppData\\Local\\Programs\\" + name + ".");
    EXPECT_EQ(instruction(1), name + " is installed");
    EXPECT_EQ(fake.dialogs.pages[1].buttons.at(0).second, "Open " + name);
}

TEST_F(InteractiveRun, IconSideFollowsTheSystemDpiOnEveryPage) {
    for (const auto& [dpi, side] : {std::pair<std::uint32_t, int>{72, 32}, {168, 56}}) {
        fake.module.dpi = dpi;
        fake.module.icon_sides.clear();
        fake.dialogs.script = {UserAction::click(100), UserAction::click(fake::kIdClose)};
        EXPECT_EQ(run(), 0);
        EXPECT_EQ(fake.module.icon_sides, (std::vector<int>{side, side}));
        EXPECT_EQ(fake.module.live_icons, 0);  // each page's icon goes with the page
    }
}

}  // namespace
}  // namespace plinth
