// A removal must not report success while the app's file stays behind: a file that can't be
// examined is not the same as a file that isn't there.
#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"
#include "removal/removal_steps.h"

namespace plinth {
namespace {

const Path kApp = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes\\Notes.exe";
const std::u16string kKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Ann.Notes";

struct Case {
    platform::ErrorCode metadata_error;
    bool running;
    bool succeeds;
    bool app_left;
};

TEST(RemovalOfAnAppThatCantBeExamined, DeletesItOrStopsWithTheAppIsOpenText) {
    const Case cases[] = {
        {platform::codes::kAccessDenied, false, true, false},
        {platform::codes::kSharingViolation, false, true, false},
        // Examining failed and the app is running: stop with everything intact.
        {platform::codes::kAccessDenied, true, false, true},
        {platform::codes::kSharingViolation, true, false, true},
        // Known to be missing: go on.
        {platform::codes::kFileNotFound, false, true, true},
        {platform::codes::kPathNotFound, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "metadata error " << c.metadata_error << ", running " << c.running);
        fake::FakePlatform fake;
        fake.files.add_file(kApp, "app", {.running = c.running});
        fake.registry.put_text(kKey, u"DisplayName", "Notes");
        fake.faults.fail_on_path("files.metadata", kApp, c.metadata_error);
        SetupState state;
        state.platform = &fake.platform();
        state.manifest = {"Notes", "Ann.Notes", "1.0", "", "Notes.exe", {}};
        state.remove_mode = true;

        const Status result = remove_app(fake.platform(), state);
        EXPECT_EQ(result.ok(), c.succeeds);
        if (!result.ok()) {
            EXPECT_EQ(result.error().text, "Notes is open. Quit it, then try again.");
        }
        EXPECT_EQ(fake.files.exists(kApp), c.app_left);
        // The uninstall entry goes only with a successful removal.
        EXPECT_EQ(fake.registry.key_exists(kKey), !c.succeeds);
    }
}

}  // namespace
}  // namespace plinth
