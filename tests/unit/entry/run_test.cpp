#include "entry/run.h"

#include <gtest/gtest.h>

#include "package/container.h"
#include "platform/fake/fake_platform.h"

namespace plinth {
namespace {

const std::string kManifest = R"({"name":"Notes","id":"org.notes","version":"1.0","exe":"notes.exe"})";

class Run : public testing::Test {
protected:
    void arguments(std::vector<std::u16string> extra) {
        fake.session.command_line = {u"C:\\Users\\Ann\\Downloads\\Setup.exe"};
        fake.session.command_line.insert(fake.session.command_line.end(), extra.begin(), extra.end());
    }
    int run() { return run_setup(fake.platform()); }

    fake::FakePlatform fake;
};

TEST_F(Run, MissingPackageInSilentRunIsReportedOnStandardError) {
    fake.module.package.reset();
    arguments({u"/s"});
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(fake.session.standard_error, "setup: It has nothing in it to install.\n");
    EXPECT_EQ(fake.dialogs.dialogs_shown, 0);
}

TEST_F(Run, DamagedPackageIsReportedInEveryMode) {
    for (const auto& extra : std::vector<std::vector<std::u16string>>{{}, {u"/S"}, {u"--uninstall"}}) {
        fake.session.standard_error.clear();
        fake.module.package = build_package(R"({"name":"Notes"})", {});
        arguments(extra);
        EXPECT_EQ(run(), 1);
        EXPECT_EQ(fake.session.standard_error, "setup: Its contents can't be read.\n");
    }
}

TEST_F(Run, UnloadableResourceReportsTheSystemMessage) {
    fake.module.package = build_package(kManifest, {});
    fake.module.package_load_error = 5;
    arguments({u"/s"});
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(fake.session.standard_error, "setup: Access is denied.\n");
}

// Records how many COM initialisations had happened when the package was looked for.
class ObservingModule : public fake::FakeModule {
public:
    ObservingModule(fake::FaultPlan& faults, fake::FakeSession& session) : FakeModule(faults), session_(session) {}
    platform::SysResult<platform::ModuleHandle> own_handle() override {
        com_at_handle = session_.com_initializations.size();
        return FakeModule::own_handle();
    }
    platform::PackageResource package_resource(platform::ModuleHandle module) override {
        com_at_resource = session_.com_initializations.size();
        return FakeModule::package_resource(module);
    }
    std::size_t com_at_handle = 99;
    std::size_t com_at_resource = 99;

private:
    fake::FakeSession& session_;
};

TEST_F(Run, ComIsInitialisedApartmentThreadedBeforeThePackageIsLoaded) {
    ObservingModule module(fake.faults, fake.session);
    platform::Platform observed{fake.registry, fake.files,  fake.shell,       fake.processes,
                                fake.dialogs,  module,      fake.system_text, fake.session,
                                fake.network,  fake.crypto, fake.locks};
    arguments({u"/s"});
    EXPECT_EQ(run_setup(observed), 1);
    EXPECT_EQ(fake.session.com_initializations, std::vector<std::uint32_t>{2});
    EXPECT_EQ(module.com_at_handle, 1u);
    EXPECT_EQ(module.com_at_resource, 1u);
}

TEST_F(Run, SilentInstallReportsTheOperationsFailure) {
    fake.module.package = build_package(kManifest, {});  // an empty payload can't be installed
    arguments({u"/S"});
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(fake.session.standard_error.rfind("setup: ", 0), 0u);
    EXPECT_EQ(fake.session.standard_error.back(), '\n');
    EXPECT_GT(fake.session.standard_error.size(), std::string("setup: \n").size());
}

TEST_F(Run, WithoutStandardErrorOnlyTheExitCodeReports) {
    fake.module.package.reset();
    fake.session.has_standard_error = false;
    arguments({u"/s"});
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(fake.session.standard_error, "");
}

}  // namespace
}  // namespace plinth
