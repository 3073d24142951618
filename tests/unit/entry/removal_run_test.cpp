// The end of a silent removal run: the self-deletion starts only after a removal succeeded.
#include <gtest/gtest.h>

#include "entry/run.h"
#include "package/container.h"
#include "platform/fake/fake_platform.h"

namespace plinth {
namespace {

const Path kFolder = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes";
const std::u16string kSelfDeletion =
    u"\"cmd.exe\" /d /v:off /c ping -n 3 127.0.0.1 > nul & del /f /q "
    u"\"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes\\uninstall.exe\" & rmdir "
    u"\"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes\"";

class RemovalRun : public testing::Test {
protected:
    RemovalRun() {
        fake.module.package = build_package(
            R"({"name":"Notes","id":"org.notes","version":"1.0","exe":"Notes.exe",)"
            R"("documents":[{"name":"Note","extensions":["note"],"owned":true}]})",
            {});
        fake.module.path = kFolder + u"\\uninstall.exe";
        fake.session.command_line = {kFolder + u"\\uninstall.exe", u"/uninstall", u"/S"};
        fake.files.add_file(kFolder + u"\\Notes.exe", "app");
        fake.files.add_file(kFolder + u"\\uninstall.exe", "uninstaller", {.running = true});
    }

    std::vector<std::u16string> started() const {
        std::vector<std::u16string> lines;
        for (const auto& start : fake.processes.started) lines.push_back(start.command_line);
        return lines;
    }

    fake::FakePlatform fake;
};

TEST_F(RemovalRun, EverySuccessfulSilentRemovalEndsWithTheSelfDeletion) {
    EXPECT_EQ(run_setup(fake.platform()), 0);
    EXPECT_EQ(started(), std::vector<std::u16string>{kSelfDeletion});
    EXPECT_FALSE(fake.files.exists(kFolder + u"\\Notes.exe"));
    EXPECT_TRUE(fake.files.exists(kFolder + u"\\uninstall.exe"));

    // Nothing is left to remove, and the second run still hands the folder on.
    EXPECT_EQ(run_setup(fake.platform()), 0);
    EXPECT_EQ(started(), (std::vector<std::u16string>{kSelfDeletion, kSelfDeletion}));
    EXPECT_EQ(fake.session.standard_error, "");
}

TEST_F(RemovalRun, FailedRemovalStartsNothing) {
    fake.files.set_attributes(kFolder + u"\\Notes.exe", {.running = true});
    EXPECT_EQ(run_setup(fake.platform()), 1);
    EXPECT_EQ(fake.session.standard_error, "setup: Notes is open. Quit it, then try again.\n");
    EXPECT_TRUE(fake.processes.started.empty());
}

TEST_F(RemovalRun, SelfDeletionThatCantStartChangesNothing) {
    fake.faults.fail("processes.start", 2);
    EXPECT_EQ(run_setup(fake.platform()), 0);
    EXPECT_TRUE(fake.processes.started.empty());
    EXPECT_EQ(fake.session.standard_error, "");
}

}  // namespace
}  // namespace plinth
