#include "entry/damaged_installer.h"

#include <gtest/gtest.h>

#include "entry/run.h"
#include "package/container.h"
#include "platform/fake/fake_platform.h"

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

}  // namespace
}  // namespace plinth
