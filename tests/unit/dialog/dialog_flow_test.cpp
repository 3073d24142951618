#include "dialog/dialog_flow.h"

#include <gtest/gtest.h>

#include "dialog/dialog_config.h"
#include "dialog/pages.h"
#include "state/setup_state.h"
#include "platform/fake/fake_platform.h"

namespace plinth {
namespace {

using fake::UserAction;

class DialogFlow : public testing::Test {
protected:
    DialogFlow() {
        state.platform = &fake.platform();
        state.manifest.name = "Sketch Pad";
        state.manifest.id = "com.example.sketchpad";
        state.manifest.version = "2.0";
        state.manifest.exe = "SketchPad.exe";
    }

    // Shows the first page the way the entry does and returns the pressed button.
    std::int32_t show_first_page() {
        state.pages.push_back(state.remove_mode ? remove_page(state.manifest)
                                                : install_page(state.manifest, std::nullopt, u"C:\\Apps\\Sketch Pad"));
        const platform::DialogConfig config = to_dialog_config(fake.platform(), state.pages.back(), &state);
        std::int32_t pressed = 0;
        EXPECT_EQ(fake.dialogs.show(config, &pressed), 0);
        return pressed;
    }

    fake::FakePlatform fake;
    SetupState state;
};

TEST_F(DialogFlow, NullDataDoesNothingForAnyNotification) {
    for (std::uint32_t notification = 0; notification <= 10; ++notification) {
        for (std::uintptr_t wparam : std::initializer_list<std::uintptr_t>{0, 1, 2, 8, 100, 101}) {
            EXPECT_EQ(on_dialog_notification(fake::FakeDialogs::kWindow, notification, wparam, 0, nullptr), kSOk);
        }
    }
    EXPECT_EQ(fake.faults.calls(), 0);
}

TEST_F(DialogFlow, CheckBoxFollowsWparam) {
    const std::pair<std::uintptr_t, bool> cases[] = {{1, true}, {0, false}, {2, true}, {0, false}};
    for (const auto& [wparam, expected] : cases) {
        EXPECT_EQ(on_dialog_notification(fake::FakeDialogs::kWindow, kNotificationVerificationClicked, wparam, 0, &state),
                  kSOk);
        EXPECT_EQ(state.desktop_shortcut, expected);
    }
}

TEST_F(DialogFlow, OtherButtonsAndNotificationsCloseOrPassWithoutRunningAnything) {
    for (std::uintptr_t button : std::initializer_list<std::uintptr_t>{2, 8, 101, 99, 0, 0x100000064u}) {
        EXPECT_EQ(on_dialog_notification(fake::FakeDialogs::kWindow, kNotificationButtonClicked, button, 0, &state), kSOk);
    }
    for (std::uint32_t notification : {0u, 1u, 3u, 4u, 5u, 6u, 7u, 9u}) {
        EXPECT_EQ(on_dialog_notification(fake::FakeDialogs::kWindow, notification, 100, 0, &state), kSOk);
    }
    EXPECT_TRUE(state.pages.empty());
    EXPECT_FALSE(state.done || state.failed || state.desktop_shortcut);
    EXPECT_EQ(fake.faults.calls(), 0);
}

TEST_F(DialogFlow, CancelOnTheFirstPageRunsNothing) {
    const std::string before = fake.state_dump();
    fake.dialogs.script = {UserAction::set_check_box(true), UserAction::click(fake::kIdCancel)};
    EXPECT_EQ(show_first_page(), fake::kIdCancel);
    EXPECT_FALSE(state.done);
    EXPECT_FALSE(state.failed);
    EXPECT_EQ(state.pages.size(), 1u);
    EXPECT_EQ(fake.dialogs.pages.size(), 1u);
    EXPECT_EQ(fake.state_dump(), before);
}

TEST_F(DialogFlow, FailedInstallNavigatesToTheFailurePageAndStaysOpen) {
    fake.faults.fail("files.create_folder_tree", 5);
    fake.dialogs.script = {UserAction::click(kActionButton), UserAction::click(fake::kIdClose)};
    EXPECT_EQ(show_first_page(), fake::kIdClose);
    EXPECT_TRUE(state.failed);
    EXPECT_FALSE(state.done);
    ASSERT_EQ(state.pages.size(), 2u);
    ASSERT_EQ(fake.dialogs.pages.size(), 2u);
    const fake::ShownPage& shown = fake.dialogs.pages[1];
    EXPECT_EQ(shown.window_title, "Sketch Pad Setup");
    EXPECT_EQ(shown.main_instruction, "Sketch Pad couldn't be installed");
    ASSERT_TRUE(shown.content.has_value());
    EXPECT_EQ(*shown.content, state.pages[1].content);
    EXPECT_FALSE(shown.content->empty());
    EXPECT_EQ(shown.config.main_icon, kErrorIcon);
    EXPECT_EQ(shown.config.callback_data, &state);
    EXPECT_TRUE(shown.buttons.empty());
    // The action button returned S_FALSE: the dialog stayed open for the next page.
    bool saw_action = false;
    for (const auto& n : fake.dialogs.notifications) {
        if (n.notification == fake::kTdnButtonClicked && n.wparam == 100) {
            EXPECT_EQ(n.returned, kSFalse);
            saw_action = true;
        }
    }
    EXPECT_TRUE(saw_action);
    EXPECT_TRUE(fake.dialogs.refused_actions.empty());
}

}  // namespace
}  // namespace plinth
