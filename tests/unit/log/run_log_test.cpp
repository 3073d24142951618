// The install log of whole runs on the fake: the lines an install, an update and a removal
// leave, and a log that can't be written.
#include "log/run_log.h"

#include <gtest/gtest.h>

#include <sstream>

#include "entry/run.h"
#include "package/container.h"
#include "platform/fake/fake_platform.h"
#include "support/zlib_stream.h"

namespace plinth {
namespace {

const Path kFolder = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes";
const std::string kFolderText = "C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes";
const std::string kKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\org.notes";
const std::string kStamp = "2026-12-07 09:05:03.042 ";

std::vector<std::uint8_t> package(const char* version) {
    return build_package(std::string(R"({"name":"Notes","id":"org.notes","exe":"notes.exe","version":")") + version +
                             R"(","documents":[{"name":"Note","extensions":["note"],"owned":true}]})",
                         testing_support::zlib_stream(std::vector<std::uint8_t>{'M', 'Z'}, 6));
}

// The log's lines without their time stamps, each of which must be the fake clock's.
std::vector<std::string> lines_of(const fake::FakePlatform& fake, const Path& log) {
    std::vector<std::string> lines;
    std::istringstream text(fake.files.text(log).value_or(""));
    for (std::string line; std::getline(text, line);) {
        EXPECT_TRUE(line.starts_with(kStamp) && line.ends_with("\r")) << line;
        lines.push_back(line.substr(kStamp.size(), line.size() - kStamp.size() - 1));
    }
    return lines;
}

struct LoggedRun {
    const char* label;
    const char* version;
    Path installer;
    std::vector<std::u16string> arguments;
    Path log;
    int exit_code;
    std::vector<std::string> lines;
};

TEST(RunLog, InstallUpdateAndRemovalEachLogTheirEvents) {
    fake::FakePlatform fake;
    fake.files.add_folder(u"C:\\Logs");
    // A German Windows: the log still reads English.
    fake.system_text.messages[5] = u"Zugriff verweigert\r\n";
    fake.system_text.english_messages[5] = u"Access is denied.\r\n";
    const std::string classes = "Wrote the registry value Software\\Classes\\";
    const std::vector<std::string> types = {
        classes + "org.notes.note\\(Default)", classes + "org.notes.note\\DefaultIcon\\(Default)",
        classes + "org.notes.note\\shell\\open\\command\\(Default)", classes + ".note\\(Default)",
        classes + ".note\\OpenWithProgids\\org.notes.note", "Wrote the uninstall entry " + kKey};
    const std::string start = "Started plinth-setup " PLINTH_VERSION;
    const std::string menu = "C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Notes.lnk";
    const LoggedRun runs[] = {
        {"fresh_install", "1.0", u"C:\\Users\\Ann\\Downloads\\Setup.exe", {u"/S", u"/Log=C:\\Logs\\Setup.log"},
         u"C:\\Logs\\Setup.log", 0,
         {start + " /S /Log=C:\\Logs\\Setup.log", "App Notes",
          "Install folder " + kFolderText + " (default: the user's Programs folder)", "Fresh install of version 1.0",
          "Wrote " + kFolderText + "\\notes.exe", "Wrote " + kFolderText + "\\uninstall.exe",
          "Created the shortcut " + menu, "Wrote the registry value " + kKey + "\\CreatedClassKeys", types[0],
          types[1], types[2], types[3], types[4], types[5], "Completed", "Exit code 0"}},
        // The app runs: its exe can't be replaced or deleted, so it moves aside, which is no
        // failure to log.
        {"update_while_the_app_runs", "2.0", u"C:\\Users\\Ann\\Downloads\\Setup.exe",
         {u"--LOG=C:\\Logs\\Update.log", u"/s"}, u"C:\\Logs\\Update.log", 0,
         {start + " --LOG=C:\\Logs\\Update.log /s", "App Notes",
          "Install folder " + kFolderText + " (the existing entry's InstallLocation)",
          "Update to version 2.0 from 1.0",
          "Moved aside " + kFolderText + "\\notes.exe to " + kFolderText + "\\notes.exe.1.old",
          "Wrote " + kFolderText + "\\notes.exe", "Wrote " + kFolderText + "\\uninstall.exe",
          "Created the shortcut " + menu, types[0], types[1], types[2], types[3], types[4], types[5], "Completed",
          "Exit code 0"}},
        // The removal's log inside the install folder; a second one goes on appending to it.
        // Asked to close, the app does, and the update's old exe, which has no window, doesn't.
        {"removal", "2.0", kFolder + u"\\uninstall.exe",
         {u"/uninstall", u"/S", u"/log=" + kFolder + u"\\removal.log", u"/close-app"}, kFolder + u"\\removal.log", 0,
         {start + " /uninstall /S /log=" + kFolderText + "\\removal.log /close-app", "App Notes",
          "Asked the app's programs to close: 2 running from " + kFolderText, "Still running after 10 s, not ended: 1",
          "Install folder " + kFolderText + " (the existing entry's InstallLocation)", "Removal of version 2.0",
          // The update's old exe still runs: the removal passes over it.
          "Deleted " + kFolderText + "\\notes.exe",
          "Can't delete " + kFolderText + "\\notes.exe.1.old: Access is denied. (os error 5)", "Deleted " + menu,
          "Deleted the registry key Software\\Classes\\org.notes.note",
          "Deleted the registry value Software\\Classes\\.note\\OpenWithProgids\\org.notes.note",
          "Deleted the registry value Software\\Classes\\.note\\(Default)",
          "Deleted the registry key Software\\Classes\\.note\\OpenWithProgids",
          "Deleted the registry key Software\\Classes\\.note", "Deleted the registry key " + kKey,
          "Completed",
          "Started the self-deletion of " + kFolderText,
          "Kept the log, and the folder with it: " + kFolderText + "\\removal.log", "Exit code 0"}},
        {"removal_again", "2.0", kFolder + u"\\uninstall.exe",
         {u"/uninstall", u"/S", u"/log=" + kFolder + u"\\removal.log"}, kFolder + u"\\removal.log", 0, {}},
    };
    std::vector<std::string> before;
    for (const LoggedRun& run : runs) {
        SCOPED_TRACE(run.label);
        fake.module.package = package(run.version);
        fake.module.path = run.installer;
        fake.files.add_file(run.installer, "setup");
        fake.session.command_line = {run.installer};
        fake.session.command_line.insert(fake.session.command_line.end(), run.arguments.begin(), run.arguments.end());
        EXPECT_EQ(run_setup(fake.platform()), run.exit_code);
        EXPECT_EQ(fake.session.standard_error, "");
        if (!run.lines.empty()) {
            EXPECT_EQ(lines_of(fake, run.log), run.lines);
            before = run.lines;
        } else {
            const std::vector<std::string> lines = lines_of(fake, run.log);
            ASSERT_GT(lines.size(), before.size());
            EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + before.size()), before) << "appended";
            EXPECT_EQ(lines.back(), "Exit code 0");
        }
        // The running app of the update is quit before the removal.
        fake.files.set_attributes(kFolder + u"\\notes.exe", {.running = std::string(run.label) == "fresh_install"});
        fake.processes.running = {{kFolder + u"\\NOTES.EXE"}, {kFolder + u"\\notes.exe.1.old", false}, {u"C:\\Notes\\notes.exe"}};
    }
}

// A run whose log can't be opened, or stops being writable, ends as the same run without a log.
TEST(RunLog, LogThatCantBeWrittenChangesNothing) {
    const auto run = [](const std::u16string& log, const char* fault, int nth) {
        auto fake = std::make_unique<fake::FakePlatform>();
        fake->module.package = package("1.0");
        fake->files.add_file(fake->module.path, "setup");
        fake->files.add_folder(u"C:\\Logs");
        fake->session.command_line = {fake->module.path, u"/S"};
        if (!log.empty()) fake->session.command_line.push_back(u"/log=" + log);
        if (fault) fake->faults.fail(fault, 112, nth);
        EXPECT_EQ(run_setup(fake->platform()), 0);
        EXPECT_EQ(fake->session.standard_error, "");
        return fake;
    };
    const auto without_log = run(u"", nullptr, 0);
    const auto unopened = run(u"C:\\Logs\\a.log", "files.open_for_append", 0);
    EXPECT_EQ(unopened->state_dump(), without_log->state_dump());
    // A folder can't be a log either.
    const auto folder = run(u"C:\\Users", nullptr, 0);
    EXPECT_EQ(folder->state_dump(), without_log->state_dump());

    // The third line fails: the first two stay, and nothing after them is tried.
    const auto broken = run(u"C:\\Logs\\a.log", "files.write", 3);
    EXPECT_EQ(lines_of(*broken, u"C:\\Logs\\a.log").size(), 2u);
}

// A log named like a file the run installs, replaces or deletes is never opened: the runs end as
// the same runs without a log, the app's exe never grows, and nothing else changes.
TEST(RunLog, LogThatIsAFileOfTheAppIsNotOpened) {
    const auto scene = [] {
        auto fake = std::make_unique<fake::FakePlatform>();
        fake->module.package = package("1.0");
        fake->files.add_file(fake->module.path, "setup");
        fake->session.command_line = {fake->module.path, u"/S"};
        EXPECT_EQ(run_setup(fake->platform()), 0);
        // A file the installed version lists, which the next install deletes as dropped.
        fake->files.add_file(kFolder + u"\\data\\old.txt", "old");
        fake->registry.put_text(to_utf16(kKey), u"InstalledFiles", "data\\old.txt");
        fake->files.add_short_name(kFolder + u"\\uninstall.exe", kFolder + u"\\UNINST~1.EXE");
        return fake;
    };
    const auto with_log = scene();
    const auto without_log = scene();
    const std::u16string upper_folder = u"C:\\USERS\\ANN\\APPDATA\\LOCAL\\PROGRAMS\\NOTES";
    const std::vector<std::u16string> runs[] = {
        {u"/S", u"/log=" + kFolder + u"\\notes.exe"},
        {u"/S", u"/log=" + upper_folder + u"\\Data\\OLD.TXT"},
        {u"/S", u"/log=" + kFolder + u"\\UNINST~1.EXE"},
        {u"/uninstall", u"/S", u"/log=" + kFolder + u"/Notes.exe"},
    };
    for (const auto& arguments : runs) {
        SCOPED_TRACE(path_text(arguments.back()));
        for (auto* fake : {with_log.get(), without_log.get()}) {
            fake->session.command_line = {fake->module.path};
            if (fake == with_log.get()) {
                fake->session.command_line.insert(fake->session.command_line.end(), arguments.begin(), arguments.end());
            } else {
                fake->session.command_line.insert(fake->session.command_line.end(), arguments.begin(), arguments.end() - 1);
            }
            EXPECT_EQ(run_setup(fake->platform()), 0);
        }
        EXPECT_EQ(with_log->state_dump(), without_log->state_dump());
        EXPECT_EQ(with_log->session.standard_error, "");
    }

    // Beside the app's files, in the same folder, a log is written as ever.
    auto fake = scene();
    fake->session.command_line = {fake->module.path, u"/S", u"/log=" + kFolder + u"\\notes.exe.log"};
    EXPECT_EQ(run_setup(fake->platform()), 0);
    EXPECT_EQ(lines_of(*fake, kFolder + u"\\notes.exe.log").back(), "Exit code 0");
}

// A /log= without a file, or with a '"' (no Windows file name has one; passed on to an update's
// installer it could end the quotes and add switches of its own), is refused before anything runs.
TEST(RunLog, LogWithoutAFileOrWithAQuoteIsRefusedBeforeAnythingRuns) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"/LOG=", "setup: /log= needs a file name, as in /log=C:\\Temp\\setup.log.\n"},
        {u"/log=C:\\x.log\" /uninstall \"x", "setup: The /log= file name has a \", which no file name can have.\n"},
    };
    for (const auto& [argument, refusal] : cases) {
        fake::FakePlatform fake;
        fake.module.package = package("1.0");
        fake.session.command_line = {fake.module.path, u"/S", argument};
        EXPECT_EQ(run_setup(fake.platform()), 1);
        EXPECT_EQ(fake.session.standard_error, refusal);
        EXPECT_FALSE(fake.files.exists(kFolder));
    }
}

TEST(RunLog, TimeStampsArePaddedToTheirWidths) {
    EXPECT_EQ(time_stamp({{2026, 1, 2}, 3, 4, 5, 7}), "2026-01-02 03:04:05.007");
    EXPECT_EQ(time_stamp({{987, 12, 31}, 23, 59, 59, 999}), "0987-12-31 23:59:59.999");
}

}  // namespace
}  // namespace plinth
