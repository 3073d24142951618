// The licence window and the install page's folder choice, through the whole run on the fake.
#include "dialog/license_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog/folder_choice.h"
#include "entry/run.h"
#include "installer_builder.h"
#include "pack/hostile_pe.h"
#include "pack/synthetic_pe.h"
#include "package/container.h"
#include "platform/fake/fake_platform.h"
#include "support/zlib_stream.h"

namespace plinth {
namespace {

using fake::UserAction;

constexpr char16_t kFolder[] = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Sketch Pad";
constexpr char kManifest[] = R"({"name":"Sketch Pad","id":"com.example.sketchpad","version":"2.0","exe":"SketchPad.exe")";

class LicensePage : public testing::Test {
protected:
    LicensePage() {
        fake.files.add_folder(u"C:\\Users\\Ann\\AppData\\Local\\Programs");
        fake.files.add_folder(u"C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs");
        fake.files.add_folder(u"C:\\Users\\Ann\\Desktop");
        package("}", std::nullopt);
    }

    // The package with the manifest's end as given; the installer's own file, which the install
    // copies to uninstall.exe, carries `license` as the packer embeds it.
    void package(const std::string& manifest_end, std::optional<std::string> license) {
        const std::string json = kManifest + manifest_end;
        fake.module.package = build_package(json, testing_support::zlib_stream("MZ the app"));
        fake.module.license = license;
        pack::InstallerInputs in;
        in.manifest_json = json;
        in.app = pack::Bytes(100, 'x');
        in.stub = pack::testing::build_stub(pack::testing::plain_stub_tree());
        in.license = license.value_or("");
        const auto built = pack::build_installer(in);
        ASSERT_TRUE(built.ok()) << built.error().text;
        fake.files.add_file(fake.module.path, std::string(built->installer.begin(), built->installer.end()));
    }
    int run(std::vector<std::u16string> arguments = {}) {
        fake.session.command_line = {fake.module.path};
        fake.session.command_line.insert(fake.session.command_line.end(), arguments.begin(), arguments.end());
        return run_setup(fake.platform());
    }
    void install_accepted() {
        fake.dialogs.accept_answers = {true};
        fake.dialogs.script = {UserAction::click(100), UserAction::click(fake::kIdClose)};
        ASSERT_EQ(run(), 0);
        fake.dialogs.pages.clear();
        fake.dialogs.accept_windows.clear();
    }

    fake::FakePlatform fake;
};

TEST_F(LicensePage, DeclinedEndsTheRunBeforeAnyPageAndWritesNothing) {
    package("}", "Terms\n\tof use: \xF0\x9F\x93\x9C");
    const std::string before = fake.state_dump();
    EXPECT_EQ(run(), 2);
    ASSERT_EQ(fake.dialogs.accept_windows.size(), 1u);
    const platform::AcceptWindow& window = fake.dialogs.accept_windows[0];
    EXPECT_EQ(window.title, u"Sketch Pad Setup");
    EXPECT_EQ(window.heading, u"To install Sketch Pad, you must accept its license.");
    EXPECT_EQ(window.text, u"Terms\n\tof use: \U0001F4DC");
    EXPECT_EQ(window.accept, u"I accept");
    EXPECT_EQ(window.cancel, u"Cancel");
    EXPECT_TRUE(fake.dialogs.pages.empty());
    EXPECT_EQ(fake.state_dump(), before);
}

TEST_F(LicensePage, ShownOnlyWhenTheInstalledCopyLacksTheSameText) {
    package("}", "Terms, first edition");
    install_accepted();
    EXPECT_TRUE(fake.files.exists(std::u16string(kFolder) + u"\\SketchPad.exe"));

    // A reinstall of the same text: straight to the install page.
    fake.dialogs.script = {UserAction::click(fake::kIdCancel)};
    EXPECT_EQ(run(), 2);
    EXPECT_TRUE(fake.dialogs.accept_windows.empty());
    ASSERT_EQ(fake.dialogs.pages.size(), 1u);

    // Changed by one byte, or an installed copy that can't be read: shown again.
    package("}", "Terms, first editioN");
    EXPECT_EQ(run(), 2);
    EXPECT_EQ(fake.dialogs.accept_windows.size(), 1u);
    fake.files.add_file(std::u16string(kFolder) + u"\\uninstall.exe", "MZ not a PE");
    package("}", "Terms, first edition");
    EXPECT_EQ(run(), 2);
    EXPECT_EQ(fake.dialogs.accept_windows.size(), 2u);
}

TEST_F(LicensePage, NeitherASilentRunNorARemovalNorAPackageWithoutOneShowsIt) {
    package("}", "Terms");
    EXPECT_EQ(run({u"/S"}), 0);
    EXPECT_TRUE(fake.files.exists(std::u16string(kFolder) + u"\\SketchPad.exe"));
    fake.dialogs.script = {UserAction::click(fake::kIdCancel)};
    EXPECT_EQ(run({u"/uninstall"}), 2);
    package("}", std::nullopt);
    fake.dialogs.script = {UserAction::click(fake::kIdCancel)};
    EXPECT_EQ(run(), 2);
    EXPECT_TRUE(fake.dialogs.accept_windows.empty());
    EXPECT_EQ(fake.dialogs.pages.size(), 2u);
}

TEST_F(LicensePage, FolderChoiceIsOfferedOnlyForAFreshInstallThatAllowsIt) {
    const auto offers = [this] {
        fake.dialogs.pages.clear();
        fake.dialogs.script = {UserAction::click(fake::kIdCancel)};
        EXPECT_EQ(run(), 2);
        const auto& buttons = fake.dialogs.pages.at(0).buttons;
        return buttons.size() == 2 && buttons[1] == std::pair<std::int32_t, std::string>{kChangeFolderButton, "Change folder..."};
    };
    EXPECT_FALSE(offers());
    package(R"(,"allowFolderChoice":false})", std::nullopt);
    EXPECT_FALSE(offers());
    package(R"(,"allowFolderChoice":true})", std::nullopt);
    EXPECT_TRUE(offers());
    EXPECT_EQ(run({u"/S"}), 0);
    EXPECT_FALSE(offers());  // installed: it keeps its folder
}

TEST_F(LicensePage, ARefusedFolderSaysWhyAndTheNextChoiceIsInstalledInto) {
    package(R"(,"allowFolderChoice":true})", std::nullopt);
    fake.files.add_file(u"D:\\Tools\\notes.txt", "other things");
    fake.dialogs.picked_folders = {std::nullopt, u"C:\\Windows\\Apps", u"D:\\Tools"};
    fake.dialogs.script = {UserAction::set_check_box(true), UserAction::click(kChangeFolderButton),
                           UserAction::click(kChangeFolderButton), UserAction::click(kChangeFolderButton),
                           UserAction::click(100), UserAction::click(fake::kIdClose)};
    EXPECT_EQ(run(), 0);
    // Cancelled: no new page. Refused: the reason above the folder that stays. Then a folder that
    // holds other things gets the app's own inside it.
    ASSERT_EQ(fake.dialogs.pages.size(), 4u);
    EXPECT_EQ(fake.dialogs.pages[1].content,
              "Can't install into C:\\Windows\\Apps: it is the Windows folder or inside it.\n\n"
              "It's installed for you only, in C:\\Users\\Ann\\AppData\\Local\\Programs\\Sketch Pad.");
    EXPECT_EQ(fake.dialogs.pages[2].content, "It's installed for you only, in D:\\Tools\\Sketch Pad.");
    EXPECT_EQ(fake.dialogs.pages[2].buttons.size(), 2u);
    EXPECT_EQ(fake.dialogs.picker_starts, (std::vector<Path>{kFolder, kFolder, kFolder}));
    // The check box stayed ticked through the pages, and counted.
    EXPECT_NE(fake.dialogs.pages[2].config.flags & kVerificationFlagChecked, 0u);
    EXPECT_TRUE(fake.files.exists(u"D:\\Tools\\Sketch Pad\\SketchPad.exe"));
    EXPECT_TRUE(fake.files.exists(u"C:\\Users\\Ann\\Desktop\\Sketch Pad.lnk"));
    EXPECT_FALSE(fake.files.exists(kFolder));
    EXPECT_TRUE(fake.dialogs.refused_actions.empty());
}

}  // namespace
}  // namespace plinth
