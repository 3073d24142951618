// Every fallible platform call that an install or a removal makes, failed in turn with each of
// four representative error codes. The calls are enumerated from a clean run's call log, so a
// call added to the logic later is swept without touching this file.
//
// For every injection: the result is exactly the failure text of the step that failed (or
// success where the failure is ignored), no key is left open, nothing of the user's or of
// another program's is changed, and running the operation again without the fault ends in
// exactly the state of the clean run (whole registry and file tree).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "system_error/error_text.h"
#include "state/setup_state.h"
#include "operation/setup_operation.h"
#include "platform/fake/fake_platform.h"
#include "support/app_files_resource.h"
#include "support/zlib_stream.h"

namespace plinth {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace codes = platform::codes;

constexpr std::array<platform::ErrorCode, 4> kCodes{codes::kAccessDenied, codes::kSharingViolation,
                                                    codes::kDiskFull, codes::kPathNotFound};

const Path kDownloadedInstaller = u"C:\\Users\\Ann\\Downloads\\Setup.exe";
const Path kFolder = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes";
const Path kApp = kFolder + u"\\Notes.exe";
const Path kUninstaller = kFolder + u"\\uninstall.exe";
const Path kStartMenuShortcut =
    u"C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Notes.lnk";
const Path kDesktopShortcut = u"C:\\Users\\Ann\\Desktop\\Notes.lnk";

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

AppManifest notes(std::string version) {
    AppManifest manifest;
    manifest.name = "Notes";
    manifest.id = "Ann.Notes";
    manifest.version = std::move(version);
    manifest.publisher = "Ann Example";
    manifest.exe = "Notes.exe";
    manifest.documents = {
        DocumentType{"Note", {"note", "nte"}, true, 1},
        DocumentType{"Plain text", {"txt"}, false, std::nullopt},
    };
    manifest.protocols = "ann-notes";
    return manifest;
}

// One run of the setup operation: what it is given, and where the running executable lives.
struct Operation {
    AppManifest manifest;
    Bytes payload;
    bool remove = false;
    bool desktop_shortcut = false;
    Path installer = kDownloadedInstaller;
    Bytes files_resource = {};  // an app folder's other files; none for one exe
};

Operation install_run(std::string version, bool desktop_shortcut = true) {
    Operation run;
    run.manifest = notes(version);
    run.payload = testing_support::zlib_stream(bytes_of("MZ Notes " + version + std::string(3000, 'x')), 9);
    run.desktop_shortcut = desktop_shortcut;
    return run;
}

Operation removal_run() {
    Operation run;
    run.manifest = notes("2.0");
    run.remove = true;
    run.installer = kUninstaller;
    return run;
}

Status perform(fake::FakePlatform& fake, const Operation& run, SetupState* out_state = nullptr) {
    SetupState state;
    state.platform = &fake.platform();
    state.manifest = run.manifest;
    state.payload = run.payload;
    state.remove_mode = run.remove;
    state.desktop_shortcut = run.desktop_shortcut;
    if (!run.files_resource.empty()) state.files = *read_app_files(run.files_resource);
    fake.module.path = run.installer;
    Status result = run_setup_operation(fake.platform(), state);
    if (out_state) *out_state = std::move(state);
    return result;
}

// What belongs to the user or to other programs, and must survive every run untouched.
struct ForeignValue {
    std::u16string key;
    std::u16string name;
    std::string text;
};
const std::vector<ForeignValue> kForeignValues = {
    {u"Software\\Classes\\.txt", u"", "txtfile"},
    {u"Software\\Classes\\.txt\\OpenWithProgids", u"txtfile", ""},
    {u"Software\\Classes\\txtfile", u"", "Text Document"},
    {u"Software\\Classes\\.note\\OpenWithProgids", u"Other.note", ""},
    {u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other.App", u"DisplayName", "Other App"},
    {u"Software\\Ann\\Notes\\Settings", u"Theme", "dark"},
};
struct ForeignFile {
    Path path;
    std::string text;
};
const std::vector<ForeignFile> kForeignFiles = {
    {kFolder + u"\\My notes.txt", "the user's own notes"},
    {kFolder + u"\\notes.OLD", "not a leftover: the match is case-sensitive"},
    {u"C:\\Users\\Ann\\Desktop\\draft.txt", "a draft"},
    {u"C:\\Users\\Ann\\Desktop\\Notes.lnk.bak", "the user's copy of a shortcut"},
};

void seed_foreign(fake::FakePlatform& fake) {
    for (const auto& value : kForeignValues) fake.registry.put_text(value.key, value.name, value.text);
    for (const auto& file : kForeignFiles) fake.files.add_file(file.path, file.text);
    fake.files.add_file(kDownloadedInstaller, "MZ the installer with its package");
}

// Empty when everything foreign is as it was; otherwise what changed.
std::string foreign_changes(const fake::FakePlatform& fake) {
    std::string changes;
    for (const auto& value : kForeignValues) {
        const auto text = fake.registry.text(value.key, value.name);
        if (text != value.text) changes += "registry value changed: " + to_utf8(value.key) + " " + to_utf8(value.name) + "\n";
    }
    for (const auto& file : kForeignFiles) {
        if (fake.files.text(file.path) != file.text) changes += "file changed: " + to_utf8(file.path) + "\n";
    }
    return changes;
}

struct Scenario {
    std::string name;
    // The machine before the operation (the fault plan is reset afterwards).
    std::function<void(fake::FakePlatform&)> prepare;
    Operation run;
    // Files that are running programs when the operation starts (they can't be deleted or
    // overwritten, only renamed).
    std::vector<Path> running = {};
};

void install_cleanly(fake::FakePlatform& fake, const Operation& run) {
    const Status installed = perform(fake, run);
    ASSERT_TRUE(installed) << installed.error().text;
}

// The text a failure of log entry `entry` must produce, or nothing when the operation must
// succeed all the same.
struct CallEntry {
    std::string operation;
    std::string subject;
};
CallEntry split(const std::string& entry) {
    const auto space = entry.find(' ');
    if (space == std::string::npos) return {entry, ""};
    return {entry.substr(0, space), entry.substr(space + 1)};
}

std::optional<std::string> expected_failure(const Scenario& scenario, const std::vector<std::string>& log,
                                            size_t index, platform::ErrorCode code) {
    fake::FaultPlan no_faults;
    fake::FakeSystemText texts(no_faults);
    const auto [operation, subject] = split(log[index]);
    const std::string os_error = os_error_text(texts, code);

    if (scenario.run.remove) {
        const bool on_app = subject == to_utf8(kApp);
        // DeleteFileW refused with access denied gets a second attempt, which succeeds here.
        if (operation == "files.delete_file" && on_app && code != codes::kAccessDenied) {
            return scenario.run.manifest.name + " is open. Quit it, then try again.";
        }
        if (operation == "files.delete_file_by_handle" && on_app) {
            return scenario.run.manifest.name + " is open. Quit it, then try again.";
        }
        return std::nullopt;
    }

    if (operation == "registry.get_value" && !scenario.run.files_resource.empty()) {
        // Once the install folder is made, an app folder's install reads its entry's list: a
        // size query and a read. Earlier reads find the folder.
        // The read of the entry's URL protocols, once the entry is written, counts a failure as
        // none remembered.
        const std::string folder_made = "files.create_folder_tree " + to_utf8(kFolder);
        // Where the folder holds no uninstall.exe, the entry's DisplayIcon is read first; a
        // failing read counts as no entry.
        if (index > 0 && log[index - 1] == "files.metadata " + to_utf8(kFolder) + "\\uninstall.exe") return std::nullopt;
        const std::string entry_written = "registry.create_key Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                                          scenario.run.manifest.id;
        const bool entry_before = std::find(log.begin(), log.begin() + index, entry_written) != log.begin() + index;
        if (!entry_before && std::find(log.begin(), log.begin() + index, folder_made) != log.begin() + index) {
            return "Can't read the registry (InstalledFiles, error " + std::to_string(code) + ").";
        }
    }
    // A new file is written under its staged name, or inside a new folder's staged name, and its
    // failures name the target.
    const std::string staged_suffix = ".new.old";
    // A file inside a staged folder is renamed onto its target when the folder goes in file by file.
    const bool staged = subject.ends_with(staged_suffix) || subject.find(staged_suffix + "\\") != std::string::npos;
    std::string target = subject;
    for (std::size_t at = target.find(staged_suffix); at != std::string::npos; at = target.find(staged_suffix, at)) {
        const std::size_t after = at + staged_suffix.size();
        if (after == target.size() || target[after] == '\\') {
            target.erase(at, staged_suffix.size());
        } else {
            at = after;
        }
    }
    if (operation == "files.replace" && code != codes::kAccessDenied && code != codes::kSharingViolation) {
        // Refused by the target, the staged file is renamed after the target is cleared.
        return "Can't write " + target + ": " + os_error;
    }
    if (operation == "files.rename" && staged) {
        // A staged folder (files were written inside it) whose rename fails goes in file by file.
        const std::string inside = subject + "\\";
        for (const std::string& call : log) {
            if (call.find(inside) != std::string::npos) return std::nullopt;
        }
        return "Can't write " + target + ": " + os_error;
    }
    if (operation == "files.create_folder_tree") return "Can't create the folder " + target + ": " + os_error;
    if (operation == "files.read_file") return "Can't read the installer: " + os_error;
    if (operation == "module.own_path") return os_error;
    // An extension key that can't be looked at may be another program's: the install stops
    // rather than take it for one it makes.
    const bool extension_key = subject.starts_with("Software\\Classes\\.");
    if (operation == "registry.create_key" || operation == "registry.set_value" ||
        (operation == "registry.key_counts" && extension_key)) {
        return "Can't write to the registry (" + subject + ", error " + std::to_string(code) + ").";
    }
    if (operation == "shell.create_shortcut") {
        return "Can't add the shortcut " + subject + ": " +
               com_error_text(texts, static_cast<platform::HResult>(code));
    }
    if (operation == "files.write_file") {
        // The shell link object saves its file itself and reports the Win32 error as an HRESULT.
        if (index > 0 && log[index - 1] == "shell.create_shortcut " + subject) {
            return "Can't add the shortcut " + subject + ": " + com_error_text(texts, hresult_from_win32(code));
        }
        return "Can't write " + target + ": " + os_error;
    }
    return std::nullopt;
}

// The state to compare after a rerun. Two differences from the clean run are by design:
// - a running program can't be cleaned up, so when a rename failed it sits under the next
//   spare name: the numbers of moved-aside files don't count;
// - when the Start-menu folder couldn't be found, the desktop shortcut was the first entry of
//   the list and is always written; only a removal deletes it again.
std::string comparable_state(const fake::FakePlatform& fake, const Scenario& scenario,
                             const std::string& failed_call) {
    std::string state = fake.state_dump();
    if (!scenario.running.empty()) {
        for (size_t at = state.find(".old ["); at != std::string::npos; at = state.find(".old [", at + 1)) {
            size_t digits = at;
            while (digits > 0 && std::isdigit(static_cast<unsigned char>(state[digits - 1]))) --digits;
            if (digits < at && digits > 0 && state[digits - 1] == '.') {
                state.replace(digits, at - digits, "N");
                at = digits;
            }
        }
    }
    // A removal that couldn't read its list of the extension keys the install made, or look at
    // one, leaves them: it never deletes a key it can't tell is its own. An empty one is all
    // that can stay, so empty extension keys are left out on both sides.
    if (scenario.run.remove) {
        const std::string empty_extension = "[Software\\Classes\\.";
        for (size_t at = state.find(empty_extension); at != std::string::npos; at = state.find(empty_extension, at)) {
            const size_t next = state.find('\n', at) + 1;
            if (next < state.size() && state[next] != ' ') {
                state.erase(at, next - at);
            } else {
                at = next;
            }
        }
    }
    if (!scenario.run.remove && !scenario.run.desktop_shortcut && failed_call == "shell.known_folder") {
        const std::string line = to_utf8(kDesktopShortcut) + " [";
        const size_t at = state.find(line);
        if (at != std::string::npos) state.erase(at, state.find('\n', at) + 1 - at);
    }
    return state;
}

void prepare(fake::FakePlatform& fake, const Scenario& scenario) {
    scenario.prepare(fake);
    for (const Path& path : scenario.running) fake.files.set_attributes(path, {.running = true});
    fake.faults.reset();
}

// Runs the sweep and returns the number of injections made.
int sweep(const Scenario& scenario) {
    fake::FakePlatform probe;
    prepare(probe, scenario);
    if (::testing::Test::HasFatalFailure()) return 0;
    const Status clean = perform(probe, scenario.run);
    EXPECT_TRUE(clean) << scenario.name << ": the clean run fails: " << clean.error().text;
    if (!clean) return 0;
    const std::vector<std::string> log = probe.faults.call_log();
    const std::string clean_state = comparable_state(probe, scenario, "");
    EXPECT_EQ(foreign_changes(probe), "") << scenario.name << ": the clean run";

    int injections = 0;
    for (size_t index = 0; index < log.size(); ++index) {
        for (platform::ErrorCode code : kCodes) {
            const std::string where = scenario.name + ", call " + std::to_string(index + 1) + " of " +
                                      std::to_string(log.size()) + " (" + log[index] + ") failing with " +
                                      std::to_string(code);
            fake::FakePlatform fake;
            prepare(fake, scenario);
            fake.faults.fail_call(static_cast<int>(index + 1), code);
            SetupState state;
            const Status result = perform(fake, scenario.run, &state);
            ++injections;

            // The run is deterministic: up to the fault it made the same calls as the clean run.
            const auto& calls = fake.faults.call_log();
            if (calls.size() <= index || calls[index] != log[index]) {
                ADD_FAILURE() << where << ": the run took another path before the fault";
                return injections;
            }

            const auto expected = expected_failure(scenario, log, index, code);
            if (expected) {
                EXPECT_FALSE(result) << where << ": reported success";
                if (!result) {
                    EXPECT_EQ(result.error().text, *expected) << where;
                }
                EXPECT_FALSE(state.done) << where;
                EXPECT_FALSE(state.folder_to_delete.has_value()) << where;
            } else {
                EXPECT_TRUE(result) << where << ": " << (result ? "" : result.error().text);
                EXPECT_TRUE(state.done) << where;
            }
            EXPECT_EQ(fake.registry.open_keys(), 0) << where << ": a registry key was left open";
            EXPECT_EQ(foreign_changes(fake), "") << where;

            // Again, without the fault: the same state as the clean run.
            fake.faults.reset();
            const Status rerun = perform(fake, scenario.run);
            EXPECT_TRUE(rerun) << where << ", rerun: " << (rerun ? "" : rerun.error().text);
            EXPECT_EQ(comparable_state(fake, scenario, log[index]), clean_state) << where << ", rerun";
            EXPECT_EQ(foreign_changes(fake), "") << where << ", rerun";
            if (::testing::Test::HasFailure()) return injections;  // one broken case tells enough
        }
    }
    return injections;
}

void report(const std::string& scenario, int calls, int injections) {
    std::cout << "[ sweep    ] " << scenario << ": " << calls << " fallible calls, " << injections
              << " injections\n";
    ::testing::Test::RecordProperty(scenario + " injections", injections);
}

int calls_of(const Scenario& scenario) {
    fake::FakePlatform probe;
    prepare(probe, scenario);
    (void)perform(probe, scenario.run);
    return probe.faults.calls();
}

void run_sweep(const Scenario& scenario) {
    const int injections = sweep(scenario);
    report(scenario.name, calls_of(scenario), injections);
    EXPECT_GT(injections, 0) << scenario.name << ": nothing was swept";
}

TEST(FaultSweep, FreshInstall) {
    run_sweep({"fresh install", [](fake::FakePlatform& fake) { seed_foreign(fake); }, install_run("2.0")});
}

TEST(FaultSweep, FreshInstallWithoutDesktopShortcut) {
    run_sweep({"fresh install, Start menu only", [](fake::FakePlatform& fake) { seed_foreign(fake); },
               install_run("2.0", false)});
}

TEST(FaultSweep, Reinstall) {
    const Operation run = install_run("2.0");
    run_sweep({"reinstall",
               [run](fake::FakePlatform& fake) {
                   seed_foreign(fake);
                   install_cleanly(fake, run);
                   // A leftover from an earlier update, read-only: swept with the second attempt.
                   fake.files.add_file(kApp + u".3.old", "old", {.read_only = true});
               },
               run});
}

TEST(FaultSweep, UpdateWhileTheOldAppIsRunning) {
    run_sweep({"update over the running app",
               [](fake::FakePlatform& fake) {
                   seed_foreign(fake);
                   install_cleanly(fake, install_run("1.0"));
               },
               install_run("2.0"),
               {kApp}});
}

TEST(FaultSweep, Removal) {
    run_sweep({"removal",
               [](fake::FakePlatform& fake) {
                   seed_foreign(fake);
                   install_cleanly(fake, install_run("2.0"));
                   fake.files.add_file(kApp + u".1.old", "moved aside by an update");
               },
               removal_run()});
}

TEST(FaultSweep, RemovalOfAReadOnlyApp) {
    run_sweep({"removal, read-only app",
               [](fake::FakePlatform& fake) {
                   seed_foreign(fake);
                   install_cleanly(fake, install_run("2.0"));
                   fake.files.set_attributes(kApp, {.read_only = true});
               },
               removal_run()});
}

const std::vector<testing_support::TestFile> kFolderVersion1 = {
    {"core.dll", "MZ core 1"},
    {"data\\words.txt", "apple"},
    {"old\\gone\\x.txt", "only in 1"},
};
const std::vector<testing_support::TestFile> kFolderVersion2 = {
    {"core.dll", "MZ core 2"},
    {"data\\words.txt", "apple pear"},
    {"plugins\\new.dll", "MZ new"},
};

Operation folder_install_run(std::string version, const std::vector<testing_support::TestFile>& files) {
    Operation run = install_run(std::move(version));
    run.files_resource = testing_support::app_files_resource(files);
    return run;
}

void seed_foreign_in_subfolders(fake::FakePlatform& fake) {
    seed_foreign(fake);
    fake.files.add_file(kFolder + u"\\data\\mine.txt", "the user's own");
}

TEST(FaultSweep, AppFolderFreshInstall) {
    run_sweep({"app folder, fresh install", seed_foreign_in_subfolders, folder_install_run("1.0", kFolderVersion1)});
}

TEST(FaultSweep, AppFolderUpdateWhileTheOldAppIsRunning) {
    run_sweep({"app folder, update over the running app",
               [](fake::FakePlatform& fake) {
                   seed_foreign_in_subfolders(fake);
                   install_cleanly(fake, folder_install_run("1.0", kFolderVersion1));
                   fake.files.add_file(kFolder + u"\\old\\gone\\mine.txt", "the user's, in a dropped folder");
               },
               folder_install_run("2.0", kFolderVersion2),
               {kApp, kFolder + u"\\core.dll"}});
}

// "lib" holds only the app's files: it is swapped whole, its old tree moved aside and deleted
// after; a failure of either rename, or of the move aside, leaves it to go in file by file.
const std::vector<testing_support::TestFile> kSwappedVersion1 = {
    {"core.dll", "MZ core 1"},
    {"lib\\a.dll", "MZ a 1"},
    {"lib\\gone.dll", "only in 1"},
    {"lib\\sub\\b.dll", "MZ b 1"},
};
const std::vector<testing_support::TestFile> kSwappedVersion2 = {
    {"core.dll", "MZ core 2"},
    {"lib\\a.dll", "MZ a 2"},
    {"lib\\sub\\b.dll", "MZ b 2"},
    {"lib\\sub\\c.dll", "MZ c 2"},
};

TEST(FaultSweep, AppFolderUpdateSwappingAFolderWhole) {
    run_sweep({"app folder, update swapping a folder whole",
               [](fake::FakePlatform& fake) {
                   seed_foreign(fake);
                   install_cleanly(fake, folder_install_run("1.0", kSwappedVersion1));
                   fake.files.add_file(kFolder + u"\\lib.1.old\\a.dll", "a tree a killed run left aside");
               },
               folder_install_run("2.0", kSwappedVersion2),
               {kApp}});
}

TEST(FaultSweep, AppFolderUpdateWhoseFolderCantMoveAside) {
    run_sweep({"app folder, update of a folder in use",
               [](fake::FakePlatform& fake) {
                   seed_foreign(fake);
                   install_cleanly(fake, folder_install_run("1.0", kSwappedVersion1));
               },
               folder_install_run("2.0", kSwappedVersion2),
               {kApp, kFolder + u"\\lib\\sub\\b.dll"}});
}

TEST(FaultSweep, AppFolderRemoval) {
    Operation removal = removal_run();
    removal.files_resource = testing_support::app_files_resource(kFolderVersion2);
    run_sweep({"app folder, removal",
               [](fake::FakePlatform& fake) {
                   seed_foreign_in_subfolders(fake);
                   install_cleanly(fake, folder_install_run("1.0", kFolderVersion1));
                   install_cleanly(fake, folder_install_run("2.0", kFolderVersion2));
                   fake.files.add_file(kFolder + u"\\plugins\\new.dll.1.old", "moved aside by an update");
               },
               removal});
}

}  // namespace
}  // namespace plinth
