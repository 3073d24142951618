// The update switches end to end on the fake: feed, download, checks, the new installer's run,
// and what is left behind.
#include "entry/run.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "common/command_line_split.h"
#include "pack/hostile_pe.h"
#include "pack/synthetic_pe.h"
#include "package/container.h"
#include "platform/fake/fake_platform.h"
#include "updates/feed.h"

namespace plinth {
namespace {

const std::u16string kKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\org.notes";
const std::string kFeedUrl = "https://example.com/notes/feed.json";
const std::string kInstallerUrl = "https://example.com/notes/Notes-2.0-Setup.exe";
const Path kTemp = u"C:\\Users\\Ann\\AppData\\Local\\Temp";
const Path kFolder = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes";
const Path kApp = kFolder + u"\\notes.exe";

// An installer as the packer makes one: a PE file whose RCDATA 1 is the app's package.
std::string installer_of(const std::string& id, const std::string& version) {
    pack::ResourceTree tree = pack::testing::plain_stub_tree();
    tree.set(pack::ResourceName::number(pack::kTypeRcData), pack::ResourceName::number(1), 0,
             build_package(R"({"name":"Notes","id":")" + id + R"(","version":")" + version + R"(","exe":"notes.exe"})", {}));
    const pack::Bytes file = pack::testing::build_stub(tree);
    return std::string(file.begin(), file.end());
}
const std::string kNewInstaller = installer_of("org.notes", "2.0");

// An installed v1 whose feed offers v2.
struct Scene {
    Scene() {
        fake.module.package = build_package(
            R"({"name":"Notes","id":"org.notes","version":"1.0","exe":"notes.exe","updates":{"feed":")" + kFeedUrl + "\"}}", {});
        fake.registry.put_text(kKey, u"DisplayVersion", "1.0");
        fake.registry.put_text(kKey, u"DisplayIcon", path_text(kApp) + ",0");
        fake.registry.put_text(kKey, u"InstallLocation", path_text(kFolder));
        fake.shell.set_environment(u"TEMP", kTemp);
        fake.files.add_folder(kTemp);
        serve_feed("org.notes", "2.0", kNewInstaller);
        fake.network.served[kInstallerUrl].body = kNewInstaller;
        // The new installer records its version, as the real one does.
        fake.processes.on_run = [this](const platform::ProcessStart& start) {
            installer_seen = fake.files.text(*start.application).value_or("(missing)");
            fake.registry.put_text(kKey, u"DisplayVersion", "2.0");
            return 0u;
        };
    }

    void serve_feed(const std::string& id, const std::string& version, const std::string& installer,
                    std::uint64_t size = 0) {
        fake.network.served[kFeedUrl].body =
            R"({"id":")" + id + R"(","releases":[{"version":")" + version + R"(","installer":"Notes-2.0-Setup.exe","size":)" +
            std::to_string(size != 0 ? size : installer.size()) + R"(,"sha256":")" + sha256_text(fake::sha256_of(installer)) +
            R"(","notes":"Faster."}]})";
    }

    // The feed's release 2.0, whose installer is this file.
    void serve_installer(const std::string& installer) {
        serve_feed("org.notes", "2.0", installer);
        fake.network.served[kInstallerUrl].body = installer;
    }

    int run(std::vector<std::u16string> extra) {
        fake.session.command_line = {u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes\\uninstall.exe"};
        fake.session.command_line.insert(fake.session.command_line.end(), extra.begin(), extra.end());
        return run_setup(fake.platform());
    }

    // The update left nothing in the temporary folder, and v1 is still what is recorded.
    void expect_untouched() {
        EXPECT_TRUE(fake.files.list_tree(kTemp).empty());
        EXPECT_EQ(fake.registry.text(kKey, u"DisplayVersion"), "1.0");
        EXPECT_TRUE(fake.processes.started.empty());
    }

    fake::FakePlatform fake;
    std::string installer_seen;
};

class UpdateRun : public testing::Test, public Scene {};

TEST_F(UpdateRun, CheckPrintsTheNewerVersionAndWritesNothing) {
    const std::string before = fake.state_dump();
    EXPECT_EQ(run({u"/Check-Update"}), 3);
    EXPECT_EQ(fake.session.standard_output, "2.0\n");
    EXPECT_EQ(fake.session.standard_error, "");
    EXPECT_EQ(fake.state_dump(), before);
    EXPECT_EQ(fake.network.requests, std::vector<std::string>{kFeedUrl});
    EXPECT_EQ(fake.network.timeouts, std::vector<std::uint32_t>{10'000});

    fake.registry.put_text(kKey, u"DisplayVersion", "2.0");
    fake.session.standard_output.clear();
    EXPECT_EQ(run({u"--check-update"}), 0);
    EXPECT_EQ(fake.session.standard_output, "");
}

TEST_F(UpdateRun, SilentUpdateRunsTheVerifiedInstallerAndDeletesIt) {
    EXPECT_EQ(run({u"/update", u"/S"}), 0);
    EXPECT_EQ(fake.session.standard_error, "");
    EXPECT_EQ(installer_seen, kNewInstaller);  // checked, then run from where it was written
    ASSERT_EQ(fake.processes.started.size(), 1u);
    const Path downloaded = *fake.processes.started[0].application;
    EXPECT_TRUE(downloaded.starts_with(kTemp + u"\\plinth-update-")) << path_text(downloaded);
    EXPECT_EQ(fake.processes.started[0].command_line, u"\"" + downloaded + u"\" /S");
    EXPECT_TRUE(fake.files.list_tree(kTemp).empty());
    EXPECT_TRUE(fake.locks.held.empty());
    EXPECT_TRUE(fake.processes.parent_waits.empty());  // no /restart

    // Once it is installed, the next update finds nothing newer.
    EXPECT_EQ(run({u"/update", u"/S"}), 0);
    EXPECT_EQ(fake.processes.started.size(), 1u);
}

TEST_F(UpdateRun, TheInstallerAppendsToTheSameLog) {
    // Quoted where it must be: a space would split it, and a trailing backslash inside quotes
    // would escape the closing one.
    for (const std::u16string& log : {std::u16string(u"C:\\My Logs\\update.log"), std::u16string(u"C:\\My Logs\\"),
                                      std::u16string(u"C:\\Logs\\")}) {
        Scene t;
        EXPECT_EQ(t.run({u"/update", u"/S", u"/log=" + log}), 0);
        ASSERT_EQ(t.fake.processes.started.size(), 1u);
        const auto arguments = split_command_line(t.fake.processes.started[0].command_line);
        ASSERT_EQ(arguments.size(), 3u) << path_text(t.fake.processes.started[0].command_line);
        EXPECT_EQ(arguments[1], u"/S");
        EXPECT_EQ(arguments[2], u"/log=" + log);
    }
}

TEST_F(UpdateRun, RestartWaitsForTheCallerThenStartsTheRecordedApp) {
    EXPECT_EQ(run({u"/update", u"/S", u"/restart"}), 0);
    EXPECT_EQ(fake.processes.parent_waits, std::vector<std::uint32_t>{60'000});
    ASSERT_EQ(fake.processes.started.size(), 2u);
    EXPECT_EQ(fake.processes.started[1].application, kApp);
    EXPECT_EQ(fake.processes.started[1].command_line, u"\"" + kApp + u"\"");
}

TEST_F(UpdateRun, EveryFailureExitsOneWithNothingChanged) {
    const struct {
        const char* label;
        std::function<void(Scene&)> arrange;
        const char* says;
    } cases[] = {
        {"one byte changed", [](Scene& t) { t.fake.network.served[kInstallerUrl].body[3] ^= 1; },
         "isn't the release the feed describes: its SHA-256 is"},
        {"a byte more", [](Scene& t) { t.fake.network.served[kInstallerUrl].body += "x"; }, "isn't the size the feed gives"},
        {"a byte more, unannounced",
         [](Scene& t) {
             t.fake.network.served[kInstallerUrl].body += "x";
             t.fake.network.served[kInstallerUrl].announce = false;
         },
         "isn't the size the feed gives"},
        {"a byte less, unannounced",
         [](Scene& t) {
             t.fake.network.served[kInstallerUrl].body.pop_back();
             t.fake.network.served[kInstallerUrl].announce = false;
         },
         "isn't the size the feed gives"},
        {"another id", [](Scene& t) { t.serve_feed("org.other", "2.0", kNewInstaller); }, "is for another app"},
        {"server stopped", [](Scene& t) { t.fake.network.served.clear(); }, "can't be reached (WinHTTP error 12029)"},
        {"server falls silent",
         [](Scene& t) { t.fake.network.served[kInstallerUrl].cut_after = 5; },
         "didn't answer in time (WinHTTP error 12002)"},
        {"not found",
         [](Scene& t) {
             t.fake.network.served[kInstallerUrl].refusal = platform::DownloadFailure{platform::DownloadFailure::Kind::status, 404};
         },
         "HTTP status 404"},
        {"redirected to http",
         [](Scene& t) { t.fake.network.served[kInstallerUrl].redirect_to = "http://127.0.0.1/Setup.exe"; },
         "from https to plain http"},
        {"feed redirected elsewhere",
         [](Scene& t) { t.fake.network.served[kFeedUrl].redirect_to = "http://example.com/feed.json"; },
         "isn't a URL updates may come from"},
        {"redirected on to another loopback host",
         [](Scene& t) {
             t.fake.network.served[kInstallerUrl].redirect_to = "/mirror/Setup.exe";
             t.fake.network.served["https://example.com/mirror/Setup.exe"].redirect_to = "http://127.0.0.2/Setup.exe";
         },
         "leads to \"http://127.0.0.2/Setup.exe\", which isn't a URL updates may come from"},
        {"redirected in a loop",
         [](Scene& t) { t.fake.network.served[kInstallerUrl].redirect_to = kInstallerUrl; }, "redirected more than 10 times"},
        {"feed trickling past a minute",
         [](Scene& t) {
             t.fake.network.served[kFeedUrl].read_chunk = 16;
             t.fake.network.served[kFeedUrl].read_delay_ms = 9'000;
         },
         "The update feed can't be downloaded from https://example.com/notes/feed.json: it took longer than 60 seconds."},
        {"feed server silent after connecting",
         [](Scene& t) { t.fake.network.served[kFeedUrl].answer_delay_ms = 97'000; }, "didn't answer in time (WinHTTP error 12002)"},
        {"a socket's own timeout",
         [](Scene& t) {
             t.fake.network.served[kFeedUrl].refusal = platform::DownloadFailure{platform::DownloadFailure::Kind::system, 10060};
         },
         "the server didn't answer in time (error 10060)."},
        {"installer slower than 1 KiB/s",
         [](Scene& t) {
             t.fake.network.served[kInstallerUrl].read_chunk = 64;
             t.fake.network.served[kInstallerUrl].read_delay_ms = 3'000;
         },
         "fewer than 30 KiB arrived in 30 seconds"},
        {"an old release labelled new", [](Scene& t) { t.serve_installer(installer_of("org.notes", "0.9")); },
         "The update from https://example.com/notes/Notes-2.0-Setup.exe is Notes 0.9, not the version 2.0 the feed says it is."},
        {"another app's installer", [](Scene& t) { t.serve_installer(installer_of("org.other", "2.0")); },
         "is the installer of another app (Notes, id \"org.other\"), not of Notes."},
        {"no installer at all", [](Scene& t) { t.serve_installer("MZ but no more"); },
         "isn't an installer of Notes: no app package can be read from it."},
        {"the download can't be held",
         [](Scene& t) { t.fake.faults.fail("files.hold", 32); }, "can't be read back"},
        {"feed over 1 MiB",
         [](Scene& t) { t.fake.network.served[kFeedUrl].body.append(kMaxFeedSize, ' '); }, "larger than 1 MiB"},
        {"feed over 1 MiB, unannounced",
         [](Scene& t) {
             t.fake.network.served[kFeedUrl].body.append(kMaxFeedSize, ' ');
             t.fake.network.served[kFeedUrl].announce = false;
         },
         "larger than 1 MiB"},
        {"temporary folder unwritable",
         [](Scene& t) { t.fake.faults.fail("files.create_new", 5); }, "can't be written to"},
        {"disk full while writing", [](Scene& t) { t.fake.faults.fail("files.write", 112); }, "can't be written to"},
        {"another update running",
         [](Scene& t) { t.fake.locks.held.insert(u"plinth-update-org.notes"); }, "Another update of Notes is still running"},
        {"not installed",
         [](Scene& t) { t.fake.registry.delete_tree(kKey); }, "Notes isn't installed for this user"},
        {"this program signed, the update not",
         [](Scene& t) {
             t.fake.crypto.signatures[t.fake.module.path] = {platform::Signature::State::valid, "CN=Example Ltd", 0};
         },
         "The update is not signed, but this program is signed by \"CN=Example Ltd\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Scene t;
        c.arrange(t);
        EXPECT_EQ(t.run({u"/update", u"/S", u"/restart"}), 1);
        EXPECT_NE(t.fake.session.standard_error.find(c.says), std::string::npos) << t.fake.session.standard_error;
        EXPECT_EQ(t.fake.session.standard_error.rfind("setup: ", 0), 0u);
        if (std::string(c.label) != "not installed") t.expect_untouched();
    }
}

TEST_F(UpdateRun, AFileThatTookTheRandomNameIsNeverDeleted) {
    // The first name is someone else's file, and then no second name can be made.
    fake.files.add_file(kTemp + u"\\plinth-update-0102030405060708.exe", "someone else's");
    fake.faults.fail("crypto.random", 5, 2);
    EXPECT_EQ(run({u"/update", u"/S"}), 1);
    EXPECT_NE(fake.session.standard_error.find("no random name can be made"), std::string::npos);
    EXPECT_EQ(fake.files.list_tree(kTemp).size(), 1u);
}

TEST_F(UpdateRun, TheSameSignerIsTrustedAndAFailedInstallerIsReported) {
    const platform::Signature signer{platform::Signature::State::valid, "CN=Example Ltd", 0};
    fake.crypto.signatures[fake.module.path] = signer;
    fake.processes.on_run = [](const platform::ProcessStart&) { return 0u; };
    // The download is every file but this program.
    fake.crypto.unlisted = signer;
    fake.crypto.unlisted.subject = "CN=Someone Else";
    EXPECT_EQ(run({u"/update", u"/S"}), 1);
    EXPECT_NE(fake.session.standard_error.find("signed by \"CN=Someone Else\""), std::string::npos)
        << fake.session.standard_error;

    fake.crypto.unlisted = signer;
    fake.session.standard_error.clear();
    EXPECT_EQ(run({u"/update", u"/S"}), 0) << fake.session.standard_error;

    // Exit code 1 comes with the new installer's own "setup:" line: the run has that one alone.
    fake.processes.on_run = [](const platform::ProcessStart&) { return 1u; };
    fake.session.standard_error.clear();
    EXPECT_EQ(run({u"/update", u"/S"}), 1);
    EXPECT_EQ(fake.session.standard_error, "");
    fake.processes.on_run = [](const platform::ProcessStart&) { return 0xC0000005u; };
    EXPECT_EQ(run({u"/update", u"/S"}), 1);
    EXPECT_EQ(fake.session.standard_error, "setup: The new version's installer failed (exit code 3221225477).\n");
    EXPECT_TRUE(fake.files.list_tree(kTemp).empty());
}

TEST_F(UpdateRun, SignersAreComparedAsNamesAndTheManifestMayListMore) {
    fake.crypto.signatures[fake.module.path] = {platform::Signature::State::valid, "CN=Example Ltd, O=Example Ltd, C=GB", 0};
    fake.crypto.unlisted = fake.crypto.signatures[fake.module.path];
    const struct {
        const char* subject;
        bool listed;
        int exit_code;
    } cases[] = {
        {"C=GB, O=EXAMPLE LTD, CN=Example  Ltd", false, 0},  // order, case and spaces
        {"CN=Example Ltd, O=Example Ltd, C=GB, SERIALNUMBER=0123, OID.2.5.4.15=Private Organization", false, 1},
        {"CN=Example Ltd, O=Example Ltd, C=GB, SERIALNUMBER=0123, OID.2.5.4.15=Private Organization", true, 0},
        {"CN=Example Ltd, O=Example Ltd, C=US", false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.subject);
        fake.registry.put_text(kKey, u"DisplayVersion", "1.0");
        fake.session.standard_error.clear();
        fake.crypto.unlisted.subject = c.subject;
        std::string manifest = R"({"name":"Notes","id":"org.notes","version":"1.0","exe":"notes.exe","updates":{"feed":")" + kFeedUrl + "\"";
        if (c.listed) manifest += R"(,"publishers":["CN=Example Ltd, O=Example Ltd, C=GB, SERIALNUMBER=0123, 2.5.4.15=Private Organization"])";
        fake.module.package = build_package(manifest + "}}", {});
        EXPECT_EQ(run({u"/update", u"/S"}), c.exit_code) << fake.session.standard_error;
    }
    // Every check of the download was made through the file held for it.
    for (const auto& [path, through_held] : fake.crypto.checked) EXPECT_EQ(through_held, path != fake.module.path);
}

TEST_F(UpdateRun, TheDownloadIsHeldFromItsChecksThroughItsRun) {
    std::vector<platform::ErrorCode> refused;
    fake.processes.on_run = [&](const platform::ProcessStart& start) {
        const std::uint8_t byte = 0;
        refused = {fake.files.write_file(*start.application, std::span(&byte, 1)), fake.files.delete_file(*start.application),
                   fake.files.rename(*start.application, kTemp + u"\\moved.exe")};
        return 0u;
    };
    EXPECT_EQ(run({u"/update", u"/S"}), 0);
    EXPECT_EQ(refused, (std::vector<platform::ErrorCode>{32, 32, 32}));
    EXPECT_TRUE(fake.files.list_tree(kTemp).empty());
}

TEST_F(UpdateRun, TheFeedsWaitsEndWithinItsMinute) {
    fake.network.served[kFeedUrl].read_chunk = 16;
    fake.network.served[kFeedUrl].read_delay_ms = 9'000;
    const std::uint64_t start = fake.network.clock_ms;
    EXPECT_EQ(run({u"/check-update"}), 1);
    EXPECT_EQ(fake.network.clock_ms - start, 60'000u);
    // Each wait is 10 s until fewer are left; the last ones are what is left.
    ASSERT_GE(fake.network.wait_limits.size(), 7u);
    EXPECT_EQ(fake.network.wait_limits.front(), 10'000u);
    EXPECT_EQ(fake.network.wait_limits.back(), 60'000u - 6 * 9'000u);
}

TEST_F(UpdateRun, RedirectsAreFollowedHopByHop) {
    fake.network.served[kInstallerUrl].redirect_to = "../mirror/Setup.exe?from=1";
    fake.network.served["https://example.com/mirror/Setup.exe?from=1"].redirect_to = "https://cdn.example.net/Setup.exe";
    fake.network.served["https://cdn.example.net/Setup.exe"].body = kNewInstaller;
    EXPECT_EQ(run({u"/update", u"/S"}), 0) << fake.session.standard_error;
    EXPECT_EQ(fake.network.requests,
              (std::vector<std::string>{kFeedUrl, kInstallerUrl, "https://example.com/mirror/Setup.exe?from=1",
                                        "https://cdn.example.net/Setup.exe"}));
}

TEST_F(UpdateRun, RestartStartsOnlyAnExeInTheRecordedInstallFolder) {
    const struct {
        std::string icon;
        std::optional<std::string> folder;
        bool started;
    } cases[] = {
        {path_text(kApp) + ",0", path_text(kFolder) + "\\", true},
        {"c:\\users\\ann\\appdata\\local\\programs\\notes\\NOTES.EXE,0", path_text(kFolder), true},
        {"C:\\Windows\\System32\\calc.exe,0", path_text(kFolder), false},
        {path_text(kFolder) + "\\..\\Other\\other.exe,0", path_text(kFolder), false},
        {path_text(kFolder) + "Evil\\notes.exe,0", path_text(kFolder), false},
        {path_text(kApp) + ",0", std::nullopt, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.icon);
        Scene t;
        t.fake.processes.on_run = [&](const platform::ProcessStart&) {
            t.fake.registry.put_text(kKey, u"DisplayVersion", "2.0");
            t.fake.registry.put_text(kKey, u"DisplayIcon", c.icon);
            if (c.folder) {
                t.fake.registry.put_text(kKey, u"InstallLocation", *c.folder);
            } else {
                (void)t.fake.registry.delete_key_value(kKey, u"InstallLocation");
            }
            return 0u;
        };
        EXPECT_EQ(t.run({u"/update", u"/S", u"/restart"}), 0);
        EXPECT_EQ(t.fake.processes.started.size(), c.started ? 2u : 1u);
        EXPECT_EQ(t.fake.session.standard_error.find("isn't in its install folder") != std::string::npos, !c.started);
    }
}

TEST_F(UpdateRun, AnAppWithoutAFeedHasNoUpdates) {
    fake.module.package = build_package(R"({"name":"Notes","id":"org.notes","version":"1.0","exe":"notes.exe",)"
                                        R"("updates":{"feed":"http://example.com/feed.json"}})",
                                        {});
    EXPECT_EQ(run({u"/check-update"}), 1);
    EXPECT_EQ(fake.session.standard_error, "setup: Notes has no updates: its manifest names no update feed.\n");
    EXPECT_TRUE(fake.network.requests.empty());
    EXPECT_EQ(fake.dialogs.dialogs_shown, 0);
}

// /update without /S: the scripted user against the update's dialog.
constexpr std::int32_t kUpdateButton = 100;
constexpr std::int32_t kNotNowButton = 102;
constexpr std::uint32_t kSetProgressBarPos = 0x0400 + 106;
constexpr std::uint32_t kSetProgressBarMarquee = 0x0400 + 107;

TEST_F(UpdateRun, TheDialogOffersTheUpdateThenShowsItsProgressAndResult) {
    fake.dialogs.script = {fake::UserAction::wait(), fake::UserAction::click(kUpdateButton), fake::UserAction::wait()};
    EXPECT_EQ(run({u"/update", u"/restart"}), 0);
    ASSERT_EQ(fake.dialogs.pages.size(), 4u);
    // At once, while the feed is read: a marquee and Cancel.
    const fake::ShownPage& checking = fake.dialogs.pages[0];
    EXPECT_EQ(checking.main_instruction, "Checking for updates\u2026");
    EXPECT_EQ(checking.config.flags & 0x0C00, 0x0C00u);  // a moving bar, and the timer
    fake.dialogs.pages.erase(fake.dialogs.pages.begin());
    const fake::ShownPage& offer = fake.dialogs.pages[0];
    EXPECT_EQ(offer.main_instruction, "Notes 2.0 is available");
    EXPECT_EQ(offer.content, "You have version 1.0.");
    EXPECT_EQ(offer.expanded_information, "Faster.");
    EXPECT_EQ(offer.buttons, (std::vector<std::pair<std::int32_t, std::string>>{{kUpdateButton, "Update"},
                                                                               {kNotNowButton, "Not now"}}));
    EXPECT_EQ(fake.dialogs.pages[1].main_instruction, "Downloading Notes 2.0\u2026");
    EXPECT_EQ(fake.dialogs.pages[1].config.flags & 0x0A00, 0x0A00u);  // a progress bar, and the timer
    EXPECT_EQ(fake.dialogs.sent, (std::vector<fake::FakeDialogs::Sent>{{kSetProgressBarMarquee, 1, 0},
                                                                        {kSetProgressBarPos, 100, 0}}));
    EXPECT_EQ(fake.dialogs.pages[2].main_instruction, "Notes 2.0 is installed");
    EXPECT_EQ(fake.dialogs.pages[2].buttons, (std::vector<std::pair<std::int32_t, std::string>>{{101, "Open Notes"}}));
    EXPECT_TRUE(fake.dialogs.refused_actions.empty());
    EXPECT_EQ(fake.session.workers_started, 2);
    // Installed silently as /update /S does, with the same restart, and nothing left behind.
    EXPECT_EQ(installer_seen, kNewInstaller);
    ASSERT_EQ(fake.processes.started.size(), 2u);
    EXPECT_TRUE(fake.processes.started[0].command_line.ends_with(u"\" /S"));
    EXPECT_EQ(fake.processes.started[1].application, kApp);
    EXPECT_EQ(fake.processes.parent_waits, std::vector<std::uint32_t>{60'000});
    EXPECT_TRUE(fake.files.list_tree(kTemp).empty());
    EXPECT_TRUE(fake.locks.held.empty());
    EXPECT_EQ(fake.session.standard_error, "");
}

TEST_F(UpdateRun, TheDialogsOutcomesGiveTheirExitCodes) {
    using fake::UserAction;
    const struct {
        const char* label;
        std::function<void(Scene&)> arrange;
        std::deque<UserAction> script;
        int exit_code;
        const char* last_heading;
        bool installed;
        const char* choice_logged;  // null: none
    } cases[] = {
        {"closed while it checks", nullptr, {UserAction::close()}, 2, "Checking for updates\u2026", false, nullptr},
        {"not now", nullptr, {UserAction::wait(), UserAction::click(kNotNowButton)}, 2, "Notes 2.0 is available", false,
         "Chosen in the dialog: Not now"},
        {"the offer closed", nullptr, {UserAction::wait(), UserAction::close()}, 2, "Notes 2.0 is available", false,
         "Chosen in the dialog: closed the offer"},
        // The worker, waited for when the dialog closes, stops at the download's first chunk.
        {"cancelled while it downloads", nullptr,
         {UserAction::wait(), UserAction::click(kUpdateButton), UserAction::close()}, 2, "Downloading Notes 2.0\u2026",
         false, "Chosen in the dialog: Update"},
        {"nothing newer", [](Scene& t) { t.fake.registry.put_text(kKey, u"DisplayVersion", "2.0"); }, {UserAction::wait()},
         0, "Notes is up to date", false, nullptr},
        {"the feed unreachable", [](Scene& t) { t.fake.network.served.clear(); }, {UserAction::wait()}, 1,
         "Notes couldn't be updated", false, nullptr},
        {"the download cut half-way", [](Scene& t) { t.fake.network.served[kInstallerUrl].cut_after = 15; },
         {UserAction::wait(), UserAction::click(kUpdateButton), UserAction::wait()}, 1, "Notes couldn't be updated", false,
         "Chosen in the dialog: Update"},
        {"no second thread", [](Scene& t) { t.fake.session.second_thread = false; },
         {UserAction::click(kUpdateButton)}, 0, "Notes 2.0 is installed", true, "Chosen in the dialog: Update"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Scene t;
        if (c.arrange) c.arrange(t);
        t.fake.dialogs.script = c.script;
        t.fake.files.add_folder(u"C:\\Logs");
        EXPECT_EQ(t.run({u"/update", u"/log=C:\\Logs\\update.log"}), c.exit_code);
        const std::string log = t.fake.files.text(u"C:\\Logs\\update.log").value_or("");
        EXPECT_EQ(log.find("Chosen in the dialog") != std::string::npos, c.choice_logged != nullptr) << log;
        if (c.choice_logged != nullptr) EXPECT_NE(log.find(c.choice_logged), std::string::npos) << log;
        ASSERT_FALSE(t.fake.dialogs.pages.empty());
        EXPECT_EQ(t.fake.dialogs.pages.back().main_instruction, c.last_heading);
        EXPECT_EQ(t.fake.dialogs.dialogs_shown, 1);
        EXPECT_EQ(t.fake.processes.started.size(), c.installed ? 1u : 0u);
        EXPECT_TRUE(t.fake.files.list_tree(kTemp).empty());
        // A failure is on the page and on the setup: line; a choice is on neither.
        EXPECT_EQ(t.fake.session.standard_error.empty(), c.exit_code != 1) << t.fake.session.standard_error;
        if (c.exit_code == 1) {
            EXPECT_NE(t.fake.session.standard_error.find(*t.fake.dialogs.pages.back().content), std::string::npos);
        }
    }
}

// "Open Notes" on the result page starts the new version at once: the user started this run,
// and the program that did (a shell) isn't waited for.
TEST_F(UpdateRun, TheResultPageOpensTheNewVersion) {
    fake.files.add_folder(u"C:\\Logs");
    fake.dialogs.script = {fake::UserAction::wait(), fake::UserAction::click(kUpdateButton), fake::UserAction::wait(),
                           fake::UserAction::click(101)};
    EXPECT_EQ(run({u"/update", u"/log=C:\\Logs\\update.log"}), 0);
    ASSERT_EQ(fake.processes.started.size(), 2u);
    EXPECT_EQ(fake.processes.started[1].application, kApp);
    EXPECT_TRUE(fake.processes.parent_waits.empty());
    const std::string log = fake.files.text(u"C:\\Logs\\update.log").value_or("");
    EXPECT_NE(log.find("Chosen in the dialog: Open\r\n"), std::string::npos) << log;
}

TEST_F(UpdateRun, TheDialogsBarFollowsTheBytesReceived) {
    fake.network.served[kInstallerUrl].cut_after = kNewInstaller.size() / 2;
    fake.dialogs.script = {fake::UserAction::wait(), fake::UserAction::click(kUpdateButton), fake::UserAction::wait()};
    EXPECT_EQ(run({u"/update"}), 1);
    EXPECT_EQ(fake.dialogs.sent, (std::vector<fake::FakeDialogs::Sent>{{kSetProgressBarMarquee, 1, 0},
                                                                        {kSetProgressBarPos, 50, 0}}));
}

}  // namespace
}  // namespace plinth

namespace plinth {
namespace {

class UpdateChannels : public testing::Test, public Scene {};

TEST_F(UpdateChannels, AChannelsFeedIsAskedInsteadUnderTheSameRules) {
    const std::string beta = "https://example.com/notes/beta/feed.json";
    fake.network.served[beta] = fake.network.served[kFeedUrl];
    EXPECT_EQ(run({u"/check-update", u"/FEED=" + to_utf16(beta)}), 3);
    EXPECT_EQ(fake.network.requests, std::vector<std::string>{beta});
    EXPECT_EQ(fake.session.standard_output, "2.0\n");
    // The manifest's rule: no plain http to another machine; nothing is asked.
    fake.network.requests.clear();
    EXPECT_EQ(run({u"/update", u"/S", u"--feed=http://example.com/feed.json"}), 1);
    EXPECT_TRUE(fake.network.requests.empty());
    EXPECT_NE(fake.session.standard_error.find("setup: The feed given with /feed= can't be used: "), std::string::npos)
        << fake.session.standard_error;
    expect_untouched();
}

TEST_F(UpdateChannels, AStagedReleaseReachesOnlyTheInstallsInsideItsPercentage) {
    // 2.0 offered to 30 % of installs: bucket 29 (number 1029) takes it, bucket 30 doesn't.
    std::string& feed = fake.network.served[kFeedUrl].body;
    feed.insert(feed.rfind('}', feed.size() - 3), R"(,"rollout":30)");
    for (const auto& [number, offered] : {std::pair{1029u, 3}, std::pair{1030u, 0}}) {
        fake.registry.put_value(kKey, u"PlinthRolloutNumber", 4,
                                {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8), 0, 0});
        fake.session.standard_output.clear();
        EXPECT_EQ(run({u"/check-update"}), offered) << number;
    }
    // An install without its number waits for 100 %.
    fake.registry.delete_key_value(kKey, u"PlinthRolloutNumber");
    EXPECT_EQ(run({u"/check-update"}), 0);
}

}  // namespace
}  // namespace plinth
