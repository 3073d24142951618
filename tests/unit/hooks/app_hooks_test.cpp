// The app's hooks over whole runs on the fake: which runs start which hook, with what, and what
// becomes of a hook that fails, hangs, refuses or can't start.
#include "hooks/app_hooks.h"

#include <gtest/gtest.h>

#include <sstream>

#include "entry/run.h"
#include "package/container.h"
#include "platform/fake/fake_platform.h"
#include "support/zlib_stream.h"

namespace plinth {
namespace {

const Path kFolder = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes";
const Path kApp = kFolder + u"\\notes.exe";
const Path kInstaller = u"C:\\Users\\Ann\\Downloads\\Setup.exe";
const Path kLog = u"C:\\Logs\\setup.log";
const std::u16string kEntryKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\org.notes";

constexpr const char* kHooks =
    R"("hooks":{"installed":["/register","C:\\a b\\"],"updated":["--migrate"],"removing":["/unregister"]})";

std::vector<std::uint8_t> package(const std::string& version, const std::string& more = kHooks) {
    return build_package(R"({"name":"Notes","id":"org.notes","exe":"notes.exe","version":")" + version + "\"" +
                             (more.empty() ? "" : "," + more) + "}",
                         testing_support::zlib_stream(std::vector<std::uint8_t>{'M', 'Z'}, 6));
}

class Hooks : public testing::Test {
protected:
    Hooks() { fake.files.add_folder(u"C:\\Logs"); }

    // One run of an installer (or of the installed uninstall.exe, for a removal) with /log.
    int run(const std::vector<std::uint8_t>& carried, std::vector<std::u16string> arguments,
            const Path& installer = kInstaller) {
        fake.module.package = carried;
        fake.module.path = installer;
        if (!fake.files.exists(installer)) fake.files.add_file(installer, "setup");
        fake.session.command_line = {installer};
        arguments.push_back(u"/log=" + kLog);
        fake.session.command_line.insert(fake.session.command_line.end(), arguments.begin(), arguments.end());
        fake.processes.started.clear();
        (void)fake.files.delete_file(kLog);
        return run_setup(fake.platform());
    }

    // The hooks started, each as its command line.
    std::vector<std::u16string> hooks_started() const {
        std::vector<std::u16string> lines;
        for (const auto& start : fake.processes.started) {
            if (start.hidden) lines.push_back(start.command_line);
        }
        return lines;
    }

    std::string log_text() const { return fake.files.text(kLog).value_or(""); }

    fake::FakePlatform fake;
};

TEST_F(Hooks, EachRunStartsItsHookWithTheManifestsArgumentsAndTheVersions) {
    ASSERT_EQ(run(package("1.0"), {u"/S"}), 0);
    EXPECT_EQ(hooks_started(), (std::vector<std::u16string>{
                                   u"\"" + kApp + u"\" /register \"C:\\a b\\\\\" --plinth-version=1.0"}));
    const platform::ProcessStart& start = fake.processes.started.back();
    EXPECT_EQ(start.application, kApp);
    EXPECT_EQ(start.current_directory, kFolder);
    EXPECT_EQ(fake.processes.bounded_waits.back(), 30'000u);
    // The hook runs once everything is in place.
    EXPECT_TRUE(fake.registry.text(kEntryKey, u"DisplayVersion"));
    EXPECT_NE(log_text().find("Hook installed exited with code 0 after 0 ms"), std::string::npos) << log_text();

    ASSERT_EQ(run(package("1.0"), {u"/S"}), 0);
    EXPECT_EQ(hooks_started().size(), 1u) << "a reinstall is an install";
    EXPECT_TRUE(hooks_started()[0].starts_with(u"\"" + kApp + u"\" /register")) << to_utf8(hooks_started()[0]);

    // An interactive update starts the same hook as a silent one; the downloaded installer of
    // /update is such a silent one.
    ASSERT_EQ(run(package("2.0"), {u"/S"}), 0);
    EXPECT_EQ(hooks_started(),
              (std::vector<std::u16string>{u"\"" + kApp + u"\" --migrate --plinth-version=2.0 --plinth-from=1.0"}));

    // The installer's own arguments never reach a hook.
    ASSERT_EQ(run(package("2.0"), {u"/uninstall", u"/S", u"--register"}, kFolder + u"\\uninstall.exe"), 0);
    EXPECT_EQ(hooks_started(), (std::vector<std::u16string>{u"\"" + kApp + u"\" /unregister --plinth-version=2.0"}));
    // It ran before anything went.
    EXPECT_FALSE(fake.files.exists(kApp));
    EXPECT_LT(log_text().find("Hook removing started"), log_text().find("Deleted"));
}

TEST_F(Hooks, AFailingHangingOrMissingHookNeverFailsTheRun) {
    struct Case {
        const char* label;
        std::optional<std::uint32_t> exit_code;  // nothing: it hangs
        const char* fault;                        // its start fails
        const char* logged;
    };
    const Case cases[] = {
        {"fails", 3, nullptr, "Hook installed exited with code 3"},
        {"hangs", std::nullopt, nullptr, "Hook installed didn't finish in 30 s and was ended after"},
        {"cant_start", 0, "processes.run_and_wait", "Hook installed couldn't start:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fake::FakePlatform fresh;
        fresh.processes.on_run = [&](const platform::ProcessStart&) { return c.exit_code; };
        if (c.fault) fresh.faults.fail(c.fault, 2);
        fresh.module.package = package("1.0");
        fresh.files.add_file(fresh.module.path, "setup");
        fresh.files.add_folder(u"C:\\Logs");
        fresh.session.command_line = {fresh.module.path, u"/S", u"/log=" + kLog};
        EXPECT_EQ(run_setup(fresh.platform()), 0);
        EXPECT_EQ(fresh.session.standard_error, "");
        const std::string log = fresh.files.text(kLog).value_or("");
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        EXPECT_EQ(fresh.processes.ended.size(), c.exit_code ? 0u : 1u);
        EXPECT_TRUE(fresh.registry.text(kEntryKey, u"DisplayVersion"));
    }
}

TEST_F(Hooks, ARemovingHookThatAnswersOneStopsTheRemovalOnlyWhenTheManifestLetsIt) {
    for (const bool may_refuse : {true, false}) {
        SCOPED_TRACE(may_refuse);
        fake::FakePlatform fresh;
        const std::string more = std::string(kHooks) + ",\"removingMayRefuse\":" + (may_refuse ? "true" : "false");
        fresh.module.package = package("1.0", more);
        fresh.files.add_file(fresh.module.path, "setup");
        fresh.session.command_line = {fresh.module.path, u"/S"};
        ASSERT_EQ(run_setup(fresh.platform()), 0);

        fresh.processes.on_run = [](const platform::ProcessStart&) { return 1u; };
        fresh.module.path = kFolder + u"\\uninstall.exe";
        fresh.session.command_line = {fresh.module.path, u"/uninstall", u"/S"};
        const std::string before = fresh.state_dump();
        if (may_refuse) {
            EXPECT_EQ(run_setup(fresh.platform()), 1);
            EXPECT_EQ(fresh.session.standard_error,
                      "setup: Notes refused to be removed: it answered 1 when asked before its removal. Try again "
                      "when it is ready, or ask its publisher why.\n");
            EXPECT_EQ(fresh.state_dump(), before) << "nothing was removed";
        } else {
            EXPECT_EQ(run_setup(fresh.platform()), 0);
            EXPECT_FALSE(fresh.files.exists(kApp));
            EXPECT_FALSE(fresh.registry.text(kEntryKey, u"DisplayVersion"));
        }
        // Any other answer never stops it.
        if (may_refuse) {
            fresh.processes.on_run = [](const platform::ProcessStart&) { return 2u; };
            EXPECT_EQ(run_setup(fresh.platform()), 0);
        }
    }
}

TEST_F(Hooks, NoHookRunsWithoutTheKeyOrWithoutTheApp) {
    // A package without hooks, and hooks the runtime can't take as written: none is started.
    for (const std::string& more : {std::string(), std::string(R"("hooks":{"installed":"/register"})"),
                                   std::string(R"("hooks":{"installed":["/a",1]})"),
                                   std::string(R"("hooks":{"installed":["a\u0000b"]})"),
                                   std::string(R"("hooks":{"installed":[)") + std::string(16, ' ') +
                                       R"("1","2","3","4","5","6","7","8","9","10","11","12","13","14","15","16","17"]})"}) {
        SCOPED_TRACE(more);
        fake::FakePlatform fresh;
        fresh.module.package = package("1.0", more);
        fresh.files.add_file(fresh.module.path, "setup");
        fresh.session.command_line = {fresh.module.path, u"/S"};
        EXPECT_EQ(run_setup(fresh.platform()), 0);
        EXPECT_TRUE(fresh.processes.bounded_waits.empty());
    }
    // Sixteen arguments are taken.
    AppManifest manifest;
    manifest.version = "1";
    manifest.hooks.installed = std::vector<std::string>(16, "x");
    fake.files.add_file(kApp, "MZ");
    EXPECT_EQ(run_app_hook(fake.platform(), manifest, kFolder, kApp, HookKind::installed), 0u);
    // The app's exe gone (a removal after it was deleted by hand): nothing to start.
    (void)fake.files.delete_file(kApp);
    EXPECT_EQ(run_app_hook(fake.platform(), manifest, kFolder, kApp, HookKind::installed), std::nullopt);
    EXPECT_EQ(fake.processes.bounded_waits.size(), 1u);
}

}  // namespace
}  // namespace plinth
