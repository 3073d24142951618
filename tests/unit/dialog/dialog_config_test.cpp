#include "dialog/dialog_config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog/dialog_flow.h"
#include "dialog/pages.h"
#include "platform/fake/fake_platform.h"

namespace plinth {
namespace {

AppManifest manifest() {
    return {.name = "Sketch Pad",
            .id = "com.example.sketchpad",
            .version = "2.0",
            .exe = "SketchPad.exe"};
}

std::u16string text_at(const char16_t* p) { return p ? std::u16string(p) : u"<null>"; }

TEST(DialogConfig, InstallPageEveryMember) {
    fake::FakePlatform fake;
    DialogPage page = install_page(manifest(), std::nullopt, u"C:\\Programs\\Sketch Pad");
    int data = 0;
    const platform::DialogConfig c = to_dialog_config(fake.platform(), page, &data);

    EXPECT_EQ(c.size, 160u);
    EXPECT_EQ(c.parent, 0u);
    EXPECT_EQ(c.instance, fake::FakeModule::kHandle);
    EXPECT_EQ(c.flags, 0x000Au);
    EXPECT_EQ(c.common_buttons, 0x08u);
    EXPECT_EQ(text_at(c.window_title), u"Sketch Pad Setup");
    EXPECT_EQ(c.main_icon, fake::FakeModule::kIcon);
    EXPECT_EQ(text_at(c.main_instruction), u"Install Sketch Pad 2.0?");
    EXPECT_EQ(text_at(c.content), u"It's installed for you only, in C:\\Programs\\Sketch Pad.");
    ASSERT_EQ(c.button_count, 1u);
    ASSERT_NE(c.buttons, nullptr);
    EXPECT_EQ(c.buttons[0].id, 100);
    EXPECT_EQ(text_at(c.buttons[0].text), u"Install");
    EXPECT_EQ(c.default_button, 0);
    EXPECT_EQ(c.radio_button_count, 0u);
    EXPECT_EQ(c.radio_buttons, nullptr);
    EXPECT_EQ(c.default_radio_button, 0);
    EXPECT_EQ(text_at(c.verification_text), u"Add a shortcut to the desktop");
    EXPECT_EQ(c.expanded_information, nullptr);
    EXPECT_EQ(c.expanded_control_text, nullptr);
    EXPECT_EQ(c.collapsed_control_text, nullptr);
    EXPECT_EQ(c.footer_icon, 0u);
    EXPECT_EQ(c.footer, nullptr);
    EXPECT_EQ(c.callback, &on_dialog_notification);
    EXPECT_EQ(c.callback_data, &data);
    EXPECT_EQ(c.width, 0u);
    EXPECT_EQ(fake.module.icon_sides, std::vector<int>{32});
}

TEST(DialogConfig, ErrorPagesUseTheErrorIconAndLoadNoAppIcon) {
    fake::FakePlatform fake;
    DialogPage failure = failure_page(manifest(), false, Failure{"Can't write C:\\x: Access is denied. (os error 5)"});
    int data = 0;
    const platform::DialogConfig f = to_dialog_config(fake.platform(), failure, &data);
    EXPECT_EQ(f.flags, 0x0008u);
    EXPECT_EQ(f.main_icon, 0xFFFEu);
    EXPECT_EQ(f.common_buttons, 0x20u);
    EXPECT_EQ(f.callback, &on_dialog_notification);
    EXPECT_EQ(f.callback_data, &data);

    DialogPage damaged = damaged_installer_page(Failure{"It has nothing in it to install."});
    const platform::DialogConfig d = to_dialog_config(fake.platform(), damaged, nullptr);
    EXPECT_EQ(d.flags, 0x0008u);
    EXPECT_EQ(d.main_icon, 0xFFFEu);
    EXPECT_EQ(text_at(d.window_title), u"Setup");
    EXPECT_EQ(text_at(d.content), u"It has nothing in it to install.");
    EXPECT_EQ(d.callback, &on_dialog_notification);
    EXPECT_EQ(d.callback_data, nullptr);
    EXPECT_TRUE(fake.module.icon_sides.empty());
}

TEST(DialogConfig, WithoutTheAppIconThePageStillShows) {
    {
        fake::FakePlatform fake;
        fake.module.icon_available = false;
        DialogPage page = installed_page(manifest());
        const platform::DialogConfig c = to_dialog_config(fake.platform(), page, nullptr);
        EXPECT_EQ(c.flags, 0x0008u);
        EXPECT_EQ(c.main_icon, 0u);
        EXPECT_EQ(c.instance, fake::FakeModule::kHandle);
    }
    {
        fake::FakePlatform fake;
        fake.faults.fail("module.own_handle", 126);
        DialogPage page = installed_page(manifest());
        const platform::DialogConfig c = to_dialog_config(fake.platform(), page, nullptr);
        EXPECT_EQ(c.flags, 0x0008u);
        EXPECT_EQ(c.main_icon, 0u);
        EXPECT_EQ(c.instance, 0u);
        EXPECT_TRUE(fake.module.icon_sides.empty());
        EXPECT_EQ(text_at(c.main_instruction), u"Sketch Pad is installed");
    }
}

TEST(AppIconSide, ScalesFromThirtyTwoAtNinetySixNeverBelow) {
    const std::pair<std::uint32_t, int> cases[] = {
        {0, 32}, {72, 32}, {95, 32}, {96, 32}, {97, 32}, {99, 33}, {120, 40},
        {144, 48}, {168, 56}, {192, 64}, {288, 96}, {480, 160},
    };
    for (const auto& [dpi, side] : cases) {
        SCOPED_TRACE(dpi);
        EXPECT_EQ(app_icon_side(dpi), side);
        fake::FakePlatform fake;
        fake.module.dpi = dpi;
        DialogPage page = remove_page(manifest());
        (void)to_dialog_config(fake.platform(), page, nullptr);
        EXPECT_EQ(fake.module.icon_sides, std::vector<int>{side});
    }
}

TEST(DialogConfig, EmptyTextsGiveNullPointers) {
    fake::FakePlatform fake;
    DialogPage removed = removed_page(manifest());
    const platform::DialogConfig c = to_dialog_config(fake.platform(), removed, nullptr);
    EXPECT_EQ(c.content, nullptr);
    EXPECT_EQ(c.button_count, 0u);
    EXPECT_EQ(c.buttons, nullptr);
    EXPECT_EQ(c.verification_text, nullptr);

    DialogPage bare = make_page("", "", "");
    bare.verification_text = "";
    const platform::DialogConfig b = to_dialog_config(fake.platform(), bare, nullptr);
    EXPECT_EQ(b.window_title, nullptr);
    EXPECT_EQ(b.main_instruction, nullptr);
    EXPECT_EQ(b.content, nullptr);
    EXPECT_EQ(b.verification_text, nullptr);
    EXPECT_TRUE(bare.text_store.empty());
}

TEST(DialogConfig, TextsOutsideTheBmpBecomeSurrogatePairs) {
    fake::FakePlatform fake;
    AppManifest m = manifest();
    m.name = "Caf\xC3\xA9 \xF0\x9F\x8E\xA8";  // é (BMP) and U+1F3A8 (a surrogate pair)
    DialogPage page = failure_page(m, false, Failure{"Can't write C:\\\xF0\x9D\x84\x9E.txt: denied"});
    const platform::DialogConfig c = to_dialog_config(fake.platform(), page, nullptr);
    EXPECT_EQ(text_at(c.window_title), u"Caf\u00E9 \U0001F3A8 Setup");
    EXPECT_EQ(text_at(c.main_instruction), u"Caf\u00E9 \U0001F3A8 couldn't be installed");
    EXPECT_EQ(text_at(c.content), u"Can't write C:\\\U0001D11E.txt: denied");
    EXPECT_EQ(std::u16string(c.window_title).size(), 13u);  // the pair is two units
}

TEST(DialogConfig, PointersSurviveThePagesArrayGrowingAndLaterConversions) {
    fake::FakePlatform fake;
    std::vector<DialogPage> pages;
    pages.push_back(install_page(manifest(), "1.0", u"C:\\Programs\\Sketch Pad"));
    const platform::DialogConfig first = to_dialog_config(fake.platform(), pages.front(), nullptr);
    // Many appends move the first record several times.
    for (int i = 0; i < 64; ++i) {
        pages.push_back(installed_page(manifest()));
        (void)to_dialog_config(fake.platform(), pages.back(), nullptr);
    }
    // A second conversion of the same page keeps the earlier texts alive; the button array itself
    // is rebuilt, so only the text it pointed to is looked at.
    const char16_t* first_button_text = first.buttons[0].text;
    const platform::DialogConfig again = to_dialog_config(fake.platform(), pages.front(), nullptr);
    EXPECT_EQ(text_at(first.window_title), u"Sketch Pad Setup");
    EXPECT_EQ(text_at(first.main_instruction), u"Update Sketch Pad from 1.0 to 2.0?");
    EXPECT_EQ(text_at(first.content), u"It's installed for you only, in C:\\Programs\\Sketch Pad.");
    EXPECT_EQ(text_at(first.verification_text), u"Add a shortcut to the desktop");
    EXPECT_EQ(text_at(again.buttons[0].text), u"Install");
    EXPECT_EQ(text_at(first_button_text), u"Install");  // the old text buffer still lives
    EXPECT_EQ(again.buttons, pages.front().dialog_buttons.get());
    // So does every icon a conversion loaded, until its page goes.
    EXPECT_EQ(fake.module.live_icons, 66);
    pages.clear();
    EXPECT_EQ(fake.module.live_icons, 0);
}

}  // namespace
}  // namespace plinth
