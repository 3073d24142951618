// An app folder installed, updated and removed through whole silent runs on the fake: the
// package loaded from the executable's resources, the steps, the uninstall entry.
#include "install/app_files_install.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "entry/run.h"
#include "package/container.h"
#include "platform/fake/fake_platform.h"
#include "support/app_files_resource.h"

namespace plinth {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing_support::TestFile;

const Path kFolder = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes";
const Path kInstaller = u"C:\\Users\\Ann\\Downloads\\Setup.exe";
const Path kUninstaller = kFolder + u"\\uninstall.exe";
const std::u16string kEntry = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\org.notes";

Path in_folder(std::u16string_view relative) { return join_path(kFolder, relative); }

class AppFolderRuns : public testing::Test {
protected:
    // Puts an installer for `version` with these other files in Downloads and makes it the
    // running executable.
    void carry(const std::string& version, const std::vector<TestFile>& files) {
        fake.module.package = build_package(
            R"({"name":"Notes","id":"org.notes","version":")" + version + R"(","exe":"Notes.exe"})",
            testing_support::zlib_stream("MZ Notes " + version));
        if (files.empty()) {
            fake.module.files.reset();
        } else {
            fake.module.files = testing_support::app_files_resource(files);
        }
        fake.files.add_file(kInstaller, "MZ installer " + version);
        fake.module.path = kInstaller;
    }

    int install(const std::string& version, const std::vector<TestFile>& files) {
        carry(version, files);
        fake.session.command_line = {kInstaller, u"/S"};
        return run_setup(fake.platform());
    }

    // The installed uninstall.exe, carrying `version`'s files, removing the app.
    int remove(const std::string& version, const std::vector<TestFile>& files) {
        carry(version, files);
        fake.module.path = kUninstaller;
        fake.session.command_line = {kUninstaller, u"/uninstall", u"/S"};
        return run_setup(fake.platform());
    }

    fake::FakePlatform fake;
};

const std::vector<TestFile> kVersion1 = {
    {"core.dll", "MZ core 1"},
    {"data\\words.txt", "apple pear"},
    {"old\\gone.txt", "only in 1"},
    {"deep\\er\\est\\gone.bin", "only in 1, three folders down"},
};
const std::vector<TestFile> kVersion2 = {
    {"core.dll", "MZ core 2"},
    {"data\\words.txt", "apple pear plum"},
    {"plugins\\new.dll", "MZ new in 2"},
};

TEST_F(AppFolderRuns, InstallWritesEveryFileAndRecordsThem) {
    ASSERT_EQ(install("1.0", kVersion1), 0) << fake.session.standard_error;
    for (const TestFile& file : kVersion1) EXPECT_EQ(fake.files.text(in_folder(to_utf16(file.path))), file.text);
    EXPECT_EQ(fake.files.text(in_folder(u"Notes.exe")), "MZ Notes 1.0");
    EXPECT_EQ(fake.registry.text(kEntry, u"InstalledFiles"),
              "core.dll|data\\words.txt|old\\gone.txt|deep\\er\\est\\gone.bin");
    // Every file counts: each test file is small, so the sum decides the KiB.
    std::uint64_t bytes = std::string("MZ Notes 1.0").size() + std::string("MZ installer 1.0").size();
    for (const TestFile& file : kVersion1) bytes += file.text.size();
    EXPECT_EQ(fake.registry.number(kEntry, u"EstimatedSize"), bytes / 1024);
}

TEST_F(AppFolderRuns, EstimatedSizeCountsEveryFile) {
    const std::string big(300 * 1024, 'x');
    ASSERT_EQ(install("1.0", {{"a.bin", big}, {"b\\c.bin", big}}), 0) << fake.session.standard_error;
    EXPECT_EQ(fake.registry.number(kEntry, u"EstimatedSize"), 600u);
}

TEST_F(AppFolderRuns, UpdateDeletesWhatTheNewVersionDropsAndKeepsTheUsersFiles) {
    ASSERT_EQ(install("1.0", kVersion1), 0) << fake.session.standard_error;
    fake.files.add_file(in_folder(u"data\\mine.txt"), "the user's");
    fake.files.add_file(in_folder(u"old\\notes-backup.txt"), "the user's too");
    fake.files.add_file(in_folder(u"settings.ini"), "the user's settings");
    // The running app holds its DLL: it is moved aside, not deleted.
    fake.files.set_attributes(in_folder(u"core.dll"), {.running = true});

    ASSERT_EQ(install("2.0", kVersion2), 0) << fake.session.standard_error;
    for (const TestFile& file : kVersion2) EXPECT_EQ(fake.files.text(in_folder(to_utf16(file.path))), file.text);
    EXPECT_EQ(fake.files.text(in_folder(u"core.dll.1.old")), "MZ core 1");
    EXPECT_FALSE(fake.files.exists(in_folder(u"old\\gone.txt")));
    EXPECT_FALSE(fake.files.exists(in_folder(u"deep")));  // emptied, so removed, deepest first
    EXPECT_EQ(fake.files.text(in_folder(u"data\\mine.txt")), "the user's");
    EXPECT_EQ(fake.files.text(in_folder(u"old\\notes-backup.txt")), "the user's too");
    EXPECT_EQ(fake.files.text(in_folder(u"settings.ini")), "the user's settings");
    EXPECT_EQ(fake.registry.text(kEntry, u"InstalledFiles"), "core.dll|data\\words.txt|plugins\\new.dll");
}

TEST_F(AppFolderRuns, ADroppedFileThatCantBeDeletedStaysListedUntilItGoes) {
    ASSERT_EQ(install("1.0", kVersion1), 0);
    fake.files.set_attributes(in_folder(u"old\\gone.txt"), {.locked = true});
    ASSERT_EQ(install("2.0", kVersion2), 0) << fake.session.standard_error;
    EXPECT_TRUE(fake.files.exists(in_folder(u"old\\gone.txt")));
    EXPECT_EQ(fake.registry.text(kEntry, u"InstalledFiles"),
              "core.dll|data\\words.txt|plugins\\new.dll|old\\gone.txt");

    fake.files.set_attributes(in_folder(u"old\\gone.txt"), {});
    ASSERT_EQ(install("2.0", kVersion2), 0) << fake.session.standard_error;
    EXPECT_FALSE(fake.files.exists(in_folder(u"old")));
    EXPECT_EQ(fake.registry.text(kEntry, u"InstalledFiles"), "core.dll|data\\words.txt|plugins\\new.dll");
}

TEST_F(AppFolderRuns, AFileMayBecomeAFolderAndBack) {
    ASSERT_EQ(install("1.0", {{"data", "a file"}}), 0) << fake.session.standard_error;
    ASSERT_EQ(install("2.0", {{"data\\x.txt", "in a folder"}}), 0) << fake.session.standard_error;
    EXPECT_EQ(fake.files.text(in_folder(u"data\\x.txt")), "in a folder");
    ASSERT_EQ(install("3.0", {{"data", "a file again"}}), 0) << fake.session.standard_error;
    EXPECT_EQ(fake.files.text(in_folder(u"data")), "a file again");
}

TEST_F(AppFolderRuns, AStreamThatDoesntMatchItsSizeIsDamaged) {
    carry("1.0", {{"a.dll", "abc"}});
    fake.module.files->at(kAppFilesHeaderSize + 2) = 4;  // the size in the table: 4, not 3
    fake.session.command_line = {kInstaller, u"/S"};
    EXPECT_EQ(run_setup(fake.platform()), 1);
    EXPECT_EQ(fake.session.standard_error, "setup: The app inside the installer is damaged.\n");
}

// The files are inflated ahead of their writing when a second thread is there and they are
// large enough for it, one at a time otherwise: either way a damaged stream ends the run at its
// own file, the ones before written.
struct StreamCase {
    bool second_thread;
    std::uint32_t second_size;  // as the table claims it; its stream makes 6 bytes
};

class AppFolderStreams : public AppFolderRuns, public testing::WithParamInterface<StreamCase> {};

TEST_P(AppFolderStreams, ADamagedFileStopsTheRunAtItself) {
    // Two large files around the small one: they average enough to be inflated ahead.
    const std::string large(100 * 1024, 'x');
    const std::vector<TestFile> files = {{"a.dll", large}, {"b\\b.dll", "second"}, {"c.dll", large}};
    fake.session.second_thread = GetParam().second_thread;
    carry("1.0", files);
    const std::size_t size_field = kAppFilesHeaderSize + kAppFileEntryHeaderSize + 5 + 2;
    for (int i = 0; i < 4; ++i) fake.module.files->at(size_field + i) = (GetParam().second_size >> (8 * i)) & 0xff;
    fake.session.command_line = {kInstaller, u"/S"};

    const bool intact = GetParam().second_size == 6;
    EXPECT_EQ(run_setup(fake.platform()), intact ? 0 : 1);
    EXPECT_EQ(fake.session.standard_error, intact ? "" : "setup: The app inside the installer is damaged.\n");
    // Nothing is put in place before every file is written, and no staged file stays.
    EXPECT_EQ(fake.files.exists(in_folder(u"a.dll")), intact);
    EXPECT_EQ(fake.files.exists(in_folder(u"a.dll.new.old")), false);
    EXPECT_EQ(fake.files.exists(in_folder(u"b\\b.dll")), intact);
    EXPECT_EQ(fake.files.exists(in_folder(u"c.dll")), intact);
    EXPECT_EQ(fake.session.work_aheads_started, GetParam().second_thread ? 1 : 0);
}

// A first install into a folder it creates writes the root files straight to their names.
const std::vector<TestFile> kRootFiles = {{"a.dll", "MZ a"}, {"b.dll", "MZ b"}, {"sub\\c.dll", "MZ c"}};

TEST_F(AppFolderRuns, AFirstInstallWhoseNameTurnsOutTakenStagesFromThereOn) {
    fake.faults.fail_on_path("files.create_new", in_folder(u"a.dll"), platform::codes::kFileExists);
    ASSERT_EQ(install("1.0", kRootFiles), 0) << fake.session.standard_error;
    for (const TestFile& file : kRootFiles) EXPECT_EQ(fake.files.text(in_folder(to_utf16(file.path))), file.text);
    const std::vector<std::string>& calls = fake.faults.call_log();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "files.replace " + to_utf8(in_folder(u"Notes.exe"))), 0);
    for (const char16_t* name : {u"a.dll", u"b.dll"}) {
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "files.replace " + to_utf8(in_folder(name))), 1);
    }
}

TEST_F(AppFolderRuns, AKilledFirstInstallIsFinishedByTheRerunAndRemovedAfter) {
    // What a kill leaves: root files written, a staged folder, no uninstall.exe and no entry.
    fake.files.add_file(in_folder(u"Notes.exe"), "MZ Notes 1.0");
    fake.files.add_file(in_folder(u"a.dll"), "MZ");
    fake.files.add_file(in_folder(u"sub.new.old\\c.dll"), "MZ c");
    ASSERT_EQ(install("1.0", kRootFiles), 0) << fake.session.standard_error;
    for (const TestFile& file : kRootFiles) EXPECT_EQ(fake.files.text(in_folder(to_utf16(file.path))), file.text);
    EXPECT_EQ(fake.files.list_tree(kFolder).size(), 6u);  // the exe, uninstall.exe, sub and the three
    ASSERT_EQ(remove("1.0", kRootFiles), 0) << fake.session.standard_error;
    EXPECT_EQ(fake.files.list_tree(kFolder), std::vector<Path>{kUninstaller});
}

TEST_F(AppFolderRuns, SmallFilesAreInflatedWithoutASecondThread) {
    ASSERT_EQ(install("1.0", kVersion1), 0) << fake.session.standard_error;
    EXPECT_EQ(fake.session.work_aheads_started, 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, AppFolderStreams,
                         testing::Values(StreamCase{true, 6}, StreamCase{false, 6},  // intact
                                         // one byte more than its stream makes
                                         StreamCase{true, 7}, StreamCase{false, 7},
                                         // more than any stream of its length can make
                                         StreamCase{true, 0x7fffffff}, StreamCase{false, 0x7fffffff}));

TEST_F(AppFolderRuns, ADamagedTableStopsTheRunBeforeAnythingIsWritten) {
    carry("1.0", kVersion1);
    fake.module.files->push_back(0);
    fake.session.command_line = {kInstaller, u"/S"};
    EXPECT_EQ(run_setup(fake.platform()), 1);
    EXPECT_EQ(fake.session.standard_error, "setup: Its contents can't be read.\n");
    EXPECT_FALSE(fake.files.exists(kFolder));
}

TEST_F(AppFolderRuns, RemovalDeletesEveryInstalledFileAndEmptiedFolderAndKeepsTheUsers) {
    ASSERT_EQ(install("1.0", kVersion1), 0);
    ASSERT_EQ(install("2.0", kVersion2), 0);
    fake.files.add_file(in_folder(u"plugins\\new.dll.1.old"), "moved aside by an update");
    fake.files.add_file(in_folder(u"data\\user\\mine.txt"), "the user's");

    fake.faults.reset();
    ASSERT_EQ(remove("2.0", kVersion2), 0) << fake.session.standard_error;
    // The table and the entry's list name the same files: each is deleted once, and not looked at.
    const std::vector<std::string>& calls = fake.faults.call_log();
    for (const TestFile& file : kVersion2) {
        const std::string path = to_utf8(in_folder(to_utf16(file.path)));
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "files.delete_file " + path), 1) << path;
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "files.metadata " + path), 0) << path;
    }
    // uninstall.exe and the folder go with the self-deletion; the user's file keeps its folders.
    const std::vector<Path> left = {in_folder(u"data"), in_folder(u"data\\user"), in_folder(u"data\\user\\mine.txt"),
                                    kUninstaller};
    EXPECT_EQ(fake.files.list_tree(kFolder), left);
    EXPECT_FALSE(fake.registry.text(kEntry, u"InstalledFiles"));
}

TEST_F(AppFolderRuns, RemovalAlsoDeletesWhatAFailedUpdateLeftListed) {
    ASSERT_EQ(install("1.0", kVersion1), 0);
    // The update wrote its files but failed before its entry: the entry still lists version 1.
    fake.faults.fail("registry.create_key", platform::codes::kAccessDenied);
    ASSERT_EQ(install("2.0", kVersion2), 1);
    fake.faults.reset();
    ASSERT_EQ(remove("2.0", kVersion2), 0) << fake.session.standard_error;
    EXPECT_EQ(fake.files.list_tree(kFolder), std::vector<Path>{kUninstaller});
}

TEST_F(AppFolderRuns, AFileInUseStaysWithItsFolderAndTheRemovalGoesOn) {
    ASSERT_EQ(install("2.0", kVersion2), 0);
    fake.files.set_attributes(in_folder(u"plugins\\new.dll"), {.locked = true});
    ASSERT_EQ(remove("2.0", kVersion2), 0) << fake.session.standard_error;
    const std::vector<Path> left = {in_folder(u"plugins"), in_folder(u"plugins\\new.dll"), kUninstaller};
    EXPECT_EQ(fake.files.list_tree(kFolder), left);
    EXPECT_FALSE(fake.registry.text(kEntry, u"DisplayName"));
}

TEST_F(AppFolderRuns, AnUpdateToOneExeLeavesTheListForTheRemoval) {
    ASSERT_EQ(install("2.0", kVersion2), 0);
    ASSERT_EQ(install("3.0", {}), 0) << fake.session.standard_error;
    ASSERT_EQ(remove("3.0", {}), 0) << fake.session.standard_error;
    EXPECT_EQ(fake.files.list_tree(kFolder), std::vector<Path>{kUninstaller});
}

// The files of the install folder, bytes and all, without the folders (a failed update may leave
// a new empty one).
std::string files_below(const fake::FakeFiles& files, const Path& folder = kFolder) {
    std::string out;
    for (const Path& path : files.list_tree(folder)) {
        if (!files.is_folder(path)) out += to_utf8(path) + " = " + files.text(path).value_or("?") + "\n";
    }
    return out;
}

TEST_F(AppFolderRuns, AnUpdateThatFailsBeforeTheSwapLeavesThePreviousVersionWhole) {
    struct Fault {
        const char* operation;
        Path path;
        std::string text;
    };
    const std::string disk_full = ": There is not enough space on the disk. (os error 112)";
    const Fault faults[] = {
        {"files.write_file", in_folder(u"Notes.exe.new.old"), "Can't write " + to_utf8(in_folder(u"Notes.exe")) + disk_full},
        {"files.write_file", in_folder(u"core.dll.new.old"), "Can't write " + to_utf8(in_folder(u"core.dll")) + disk_full},
        {"files.create_folder_tree", in_folder(u"plugins.new.old"),
         "Can't create the folder " + to_utf8(in_folder(u"plugins")) + disk_full},
        {"files.write_file", in_folder(u"plugins.new.old\\new.dll"),
         "Can't write " + to_utf8(in_folder(u"plugins\\new.dll")) + disk_full},
        {"files.read_file", kInstaller, "Can't read the installer" + disk_full},
        {"files.write_file", kUninstaller + u".new.old", "Can't write " + to_utf8(kUninstaller) + disk_full},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.text);
        fake.faults.reset();
        ASSERT_EQ(install("1.0", kVersion1), 0) << fake.session.standard_error;
        const std::string version1 = files_below(fake.files);
        fake.faults.fail_on_path(fault.operation, fault.path, platform::codes::kDiskFull);
        fake.session.standard_error.clear();
        EXPECT_EQ(install("2.0", kVersion2), 1);
        EXPECT_EQ(fake.session.standard_error, "setup: " + fault.text + "\n");
        EXPECT_EQ(files_below(fake.files), version1);
        EXPECT_EQ(fake.registry.text(kEntry, u"DisplayVersion"), "1.0");
    }
}

// A folder only the new version has is written whole under its staged name and put in place
// by one rename; a leftover of that name from a killed run is not carried along.
TEST_F(AppFolderRuns, ANewFolderGoesInWithOneRenameAndNothingStaleComesWithIt) {
    ASSERT_EQ(install("1.0", kVersion1), 0) << fake.session.standard_error;
    fake.files.add_file(in_folder(u"plugins.new.old\\stale.dll"), "from a killed run");
    fake.files.add_file(in_folder(u"data\\mine.txt"), "the user's: data goes file by file");
    fake.faults.reset();
    const std::vector<TestFile> version3 = {{"core.dll", "MZ core 3"},
                                            {"plugins\\new.dll", "MZ new"},
                                            {"plugins\\a\\b.dll", "MZ deeper"},
                                            {"data\\fresh\\x.txt", "below an existing folder"}};
    ASSERT_EQ(install("3.0", version3), 0) << fake.session.standard_error;
    std::vector<std::string> renames;
    for (const std::string& call : fake.faults.call_log()) {
        if (call.starts_with("files.rename") || call.starts_with("files.replace")) renames.push_back(call);
    }
    EXPECT_EQ(renames, (std::vector<std::string>{
                           "files.replace " + to_utf8(in_folder(u"Notes.exe")),
                           "files.replace " + to_utf8(in_folder(u"core.dll")),
                           "files.rename " + to_utf8(in_folder(u"plugins.new.old")),
                           "files.rename " + to_utf8(in_folder(u"data\\fresh.new.old")),
                           "files.replace " + to_utf8(kUninstaller),
                       }));
    EXPECT_EQ(files_below(fake.files),
              to_utf8(in_folder(u"core.dll")) + " = MZ core 3\n" + to_utf8(in_folder(u"data\\fresh\\x.txt")) +
                  " = below an existing folder\n" + to_utf8(in_folder(u"data\\mine.txt")) +
                  " = the user's: data goes file by file\n" + to_utf8(in_folder(u"Notes.exe")) + " = MZ Notes 3.0\n" +
                  to_utf8(in_folder(u"plugins\\a\\b.dll")) + " = MZ deeper\n" +
                  to_utf8(in_folder(u"plugins\\new.dll")) + " = MZ new\n" + to_utf8(kUninstaller) +
                  " = MZ installer 3.0\n");
}

// The folder was free when staging began and isn't when its turn comes: its files go in one by
// one, and a failure there leaves nothing staged behind.
TEST_F(AppFolderRuns, AStagedFolderWhoseNameIsTakenGoesInFileByFile) {
    for (const bool fails : {false, true}) {
        SCOPED_TRACE(fails);
        fake.faults.reset();
        ASSERT_EQ(install("1.0", kVersion1), 0) << fake.session.standard_error;
        fake.faults.fail_on_path("files.rename", in_folder(u"plugins.new.old"), platform::codes::kAlreadyExists);
        if (fails) {
            fake.faults.fail_on_path("files.replace", in_folder(u"plugins\\new.dll"), platform::codes::kDiskFull);
        }
        EXPECT_EQ(install("2.0", kVersion2), fails ? 1 : 0) << fake.session.standard_error;
        EXPECT_EQ(fake.files.text(in_folder(u"plugins\\new.dll")),
                  fails ? std::nullopt : std::optional<std::string>("MZ new in 2"));
        EXPECT_FALSE(fake.files.exists(in_folder(u"plugins.new.old")));
        EXPECT_EQ(fake.files.text(in_folder(u"core.dll")), "MZ core 2");
    }
}

// A tampered or hand-edited list may name a new file by another of its names; the update
// deletes what the list names before any new file is in place, so only the old one goes.
TEST_F(AppFolderRuns, AListedOtherNameOfANewFileNeverDeletesIt) {
    ASSERT_EQ(install("1.0", kVersion1), 0);
    fake.files.add_short_name(in_folder(u"Notes.exe"), in_folder(u"NOTES~1.EXE"));
    fake.files.add_short_name(in_folder(u"uninstall.exe"), in_folder(u"UNINST~1.EXE"));
    fake.files.add_short_name(in_folder(u"data\\words.txt"), in_folder(u"data\\WORDS~1.TXT"));
    fake.registry.put_text(kEntry, u"InstalledFiles",
                           "NOTES~1.EXE|UNINST~1.EXE|data\\WORDS~1.TXT|CORE.DLL|old\\gone.txt");
    ASSERT_EQ(install("2.0", kVersion2), 0) << fake.session.standard_error;
    EXPECT_EQ(fake.files.text(in_folder(u"Notes.exe")), "MZ Notes 2.0");
    EXPECT_EQ(fake.files.text(kUninstaller), "MZ installer 2.0");
    for (const TestFile& file : kVersion2) EXPECT_EQ(fake.files.text(in_folder(to_utf16(file.path))), file.text);
    EXPECT_FALSE(fake.files.exists(in_folder(u"old\\gone.txt")));

    // A trailing dot or space is outside the path rules: such a list is no list, and deletes nothing.
    ASSERT_EQ(install("1.0", kVersion1), 0);
    fake.registry.put_text(kEntry, u"InstalledFiles", "core.dll.|core.dll |old\\gone.txt");
    ASSERT_EQ(install("2.0", kVersion2), 0) << fake.session.standard_error;
    for (const TestFile& file : kVersion2) EXPECT_EQ(fake.files.text(in_folder(to_utf16(file.path))), file.text);
    EXPECT_TRUE(fake.files.exists(in_folder(u"old\\gone.txt")));
}

// A link below the app's folder, a user's or a planted one, leads elsewhere: neither the update
// nor the removal deletes, sweeps or empties anything through it. A listed path that is itself
// a link goes as a link.
TEST_F(AppFolderRuns, LinksBelowTheFolderAreNeverFollowed) {
    const Path outside = u"C:\\Users\\Ann\\Documents\\Kept";
    ASSERT_EQ(install("1.0", kVersion1), 0);
    auto& files = fake.files;
    for (const Path path : {u"old\\gone.txt", u"deep\\er\\est\\gone.bin", u"deep\\er\\est", u"deep\\er", u"old"}) {
        (void)(files.is_folder(in_folder(path)) ? files.remove_folder(in_folder(path)) : files.delete_file(in_folder(path)));
    }
    files.add_link(in_folder(u"old"), outside, true);
    files.add_link(in_folder(u"deep\\er"), outside, true);
    files.add_link(in_folder(u"saved.old"), outside, true);
    for (const Path name : {u"gone.txt", u"est\\gone.bin", u"report.old", u"core.dll", u"words.txt"}) {
        files.add_file(join_path(outside, name), "not the app's");
    }
    const std::string kept = files_below(files, outside);

    ASSERT_EQ(install("2.0", kVersion2), 0) << fake.session.standard_error;
    EXPECT_EQ(files_below(files, outside), kept);
    // Still listed: they are there, through the links, for as long as the links are.
    EXPECT_EQ(fake.registry.text(kEntry, u"InstalledFiles"),
              "core.dll|data\\words.txt|plugins\\new.dll|old\\gone.txt|deep\\er\\est\\gone.bin");

    (void)files.delete_file(in_folder(u"core.dll"));
    files.add_link(in_folder(u"core.dll"), join_path(outside, u"core.dll"), false);
    (void)files.delete_file(in_folder(u"data\\words.txt"));
    files.add_link(in_folder(u"data\\words.txt"), outside, true);
    ASSERT_EQ(remove("2.0", kVersion2), 0) << fake.session.standard_error;
    EXPECT_EQ(files_below(files, outside), kept);
    EXPECT_EQ(files.list_tree(kFolder), (std::vector<Path>{in_folder(u"deep"), in_folder(u"deep\\er"), in_folder(u"old"),
                                                           in_folder(u"saved.old"), kUninstaller}));
}

// The entry's folder is the user's to change: the previous list and the .old sweeps apply only
// where the app is, by its uninstall.exe, its exe, or the exe the entry names.
TEST_F(AppFolderRuns, AnUpdateAppliesThePreviousListOnlyWhereTheAppIs) {
    ASSERT_EQ(install("1.0", kVersion1), 0);
    for (const Path folder : {u"C:\\Users\\Ann\\Documents", u"C:\\Users\\Ann\\Old Notes"}) {
        const bool app_is_there = folder.ends_with(u"Notes");
        SCOPED_TRACE(to_utf8(folder));
        for (const Path name : {u"old\\gone.txt", u"report.old", u"data\\draft.old"}) {
            fake.files.add_file(join_path(folder, name), "the user's");
        }
        if (app_is_there) fake.files.add_file(join_path(folder, u"Notes 1.exe"), "MZ");
        fake.registry.put_text(kEntry, u"InstallLocation", to_utf8(folder));
        fake.registry.put_text(kEntry, u"DisplayIcon", to_utf8(folder) + "\\Notes 1.exe,0");
        fake.registry.put_text(kEntry, u"InstalledFiles", "old\\gone.txt");
        ASSERT_EQ(install("2.0", kVersion2), 0) << fake.session.standard_error;
        EXPECT_EQ(fake.files.text(join_path(folder, u"plugins\\new.dll")), "MZ new in 2");
        for (const Path name : {u"old\\gone.txt", u"report.old", u"data\\draft.old"}) {
            EXPECT_EQ(fake.files.exists(join_path(folder, name)), !app_is_there) << to_utf8(name);
        }
    }
}

const std::vector<TestFile> kLibVersion1 = {
    {"core.dll", "MZ core 1"},
    {"data\\words.txt", "apple"},
    {"lib\\a.dll", "MZ a 1"},
    {"lib\\drop.dll", "MZ only in 1"},
    {"lib\\sub\\b.dll", "MZ b 1"},
};
const std::vector<TestFile> kLibVersion2 = {
    {"core.dll", "MZ core 2"},
    {"data\\words.txt", "apple pear"},
    {"lib\\a.dll", "MZ a 2"},
    {"lib\\new.dll", "MZ new in 2"},
    {"lib\\sub\\b.dll", "MZ b 2"},
};

std::vector<std::string> renames_in(const std::vector<std::string>& log) {
    std::vector<std::string> renames;
    for (const std::string& call : log) {
        if (call.starts_with("files.rename") || call.starts_with("files.replace")) renames.push_back(call);
    }
    return renames;
}

// A folder holding only the installed version's files (and leftovers) is swapped by two renames
// and its old tree deleted after; one holding a user's file goes file by file, and so does one
// that can't be moved aside because a file in it is in use.
TEST_F(AppFolderRuns, AFolderWhollyOursIsSwappedWholeAndAnyOtherFileByFile) {
    ASSERT_EQ(install("1.0", kLibVersion1), 0) << fake.session.standard_error;
    fake.files.add_file(in_folder(u"data\\mine.txt"), "the user's");
    fake.files.add_file(in_folder(u"lib\\sub\\b.dll.1.old"), "moved aside by an earlier run");
    fake.faults.reset();
    ASSERT_EQ(install("2.0", kLibVersion2), 0) << fake.session.standard_error;
    EXPECT_EQ(renames_in(fake.faults.call_log()),
              (std::vector<std::string>{"files.replace " + to_utf8(in_folder(u"Notes.exe")),
                                        "files.replace " + to_utf8(in_folder(u"core.dll")),
                                        "files.replace " + to_utf8(in_folder(u"data\\words.txt")),
                                        "files.rename " + to_utf8(in_folder(u"lib")),
                                        "files.rename " + to_utf8(in_folder(u"lib.new.old")),
                                        "files.replace " + to_utf8(kUninstaller)}));
    EXPECT_EQ(files_below(fake.files, in_folder(u"lib")),
              to_utf8(in_folder(u"lib\\a.dll")) + " = MZ a 2\n" + to_utf8(in_folder(u"lib\\new.dll")) +
                  " = MZ new in 2\n" + to_utf8(in_folder(u"lib\\sub\\b.dll")) + " = MZ b 2\n");
    EXPECT_FALSE(fake.files.exists(in_folder(u"lib.1.old")));
    EXPECT_EQ(fake.files.text(in_folder(u"data\\mine.txt")), "the user's");
    EXPECT_EQ(fake.registry.text(kEntry, u"InstalledFiles"), "core.dll|data\\words.txt|lib\\a.dll|lib\\new.dll|lib\\sub\\b.dll");

    // The running app holds a DLL of the folder: the folder stays, its files go in one by one.
    ASSERT_EQ(install("1.0", kLibVersion1), 0) << fake.session.standard_error;
    fake.files.set_attributes(in_folder(u"lib\\sub\\b.dll"), {.running = true});
    ASSERT_EQ(install("2.0", kLibVersion2), 0) << fake.session.standard_error;
    for (const TestFile& file : kLibVersion2) EXPECT_EQ(fake.files.text(in_folder(to_utf16(file.path))), file.text);
    EXPECT_EQ(fake.files.text(in_folder(u"lib\\sub\\b.dll.1.old")), "MZ b 1");
    EXPECT_FALSE(fake.files.exists(in_folder(u"lib\\drop.dll")));
    EXPECT_FALSE(fake.files.exists(in_folder(u"lib.new.old")));
    EXPECT_FALSE(fake.files.exists(in_folder(u"lib.1.old")));
}

// A kill between the two renames leaves the folder missing, the old tree aside and the new one
// staged: the rerun puts the folder in as a new one, and sweeps both away.
TEST_F(AppFolderRuns, AKillBetweenTheFolderRenamesIsFinishedByTheRerun) {
    ASSERT_EQ(install("1.0", kLibVersion1), 0) << fake.session.standard_error;
    ASSERT_EQ(fake.files.rename(in_folder(u"lib"), in_folder(u"lib.1.old")), platform::codes::kSuccess);
    fake.files.add_file(in_folder(u"lib.new.old\\a.dll"), "MZ a 2, staged");
    ASSERT_EQ(install("2.0", kLibVersion2), 0) << fake.session.standard_error;
    for (const TestFile& file : kLibVersion2) EXPECT_EQ(fake.files.text(in_folder(to_utf16(file.path))), file.text);
    EXPECT_FALSE(fake.files.exists(in_folder(u"lib.1.old")));
    EXPECT_FALSE(fake.files.exists(in_folder(u"lib.new.old")));
    EXPECT_FALSE(fake.files.exists(in_folder(u"lib\\drop.dll")));
}

// Only a tree of listed files and the sweep's leftovers is wholly ours; anything else makes its
// folder and every folder above it the user's too. The topmost whole folders both versions have
// are taken.
TEST_F(AppFolderRuns, AFolderIsWhollyOursOnlyWhenEverythingInItIsListedOrALeftover) {
    const std::vector<std::string> previous = {"a\\x.dll", "a\\b\\y.dll", "c\\d\\z.dll", "c\\w.dll",
                                               "e\\v.dll", "f\\u.dll",    "g\\t.dll",    "h\\s.dll",
                                               "i\\r.dll"};
    for (const std::string& path : previous) fake.files.add_file(in_folder(to_utf16(path)), "MZ");
    // The user's folder where one of our files was.
    (void)fake.files.delete_file(in_folder(u"i\\r.dll"));
    fake.files.add_file(in_folder(u"i\\r.dll\\notes.txt"), "the user's");
    fake.files.add_file(in_folder(u"a\\x.dll.1.old"), "a file moved aside");
    fake.files.add_folder(in_folder(u"a\\b\\y.dll.new.old"));
    fake.files.add_file(in_folder(u"c\\mine.txt"), "the user's, above a whole folder");
    fake.files.add_folder(in_folder(u"e\\photos.old"));  // a folder the sweep doesn't take
    fake.files.add_file(in_folder(u"g\\h\\s.dll"), "listed elsewhere, not here");
    (void)fake.files.delete_file(in_folder(u"h\\s.dll"));
    (void)fake.files.remove_folder(in_folder(u"h"));
    const AppFiles next = {{"a\\b\\y.dll", 0, {}}, {"c\\d\\z.dll", 0, {}}, {"c\\w.dll", 0, {}}, {"e\\v.dll", 0, {}},
                           {"G\\t.dll", 0, {}},    {"h\\s.dll", 0, {}},    {"i\\r.dll", 0, {}}};
    std::vector<std::u16string> found;
    folders_wholly_ours(fake.platform(), kFolder, previous, folders_of(next), found);
    EXPECT_EQ(found, (std::vector<std::u16string>{u"A\\", u"C\\D\\"}));

    std::vector<std::string> dropped = {"a\\x.dll", "A\\B\\q.dll", "ab\\x", "c\\w.dll", "c\\d\\z.dll", "a"};
    const std::vector<std::u16string> ours = {u"A\\", u"C\\D\\"};
    EXPECT_EQ(take_paths_inside(dropped, ours),
              (std::vector<std::string>{"a\\x.dll", "A\\B\\q.dll", "c\\d\\z.dll"}));
    EXPECT_EQ(dropped, (std::vector<std::string>{"ab\\x", "c\\w.dll", "a"}));
}

TEST(DroppedAppFiles, ComparedAsWindowsComparesNamesAndNeverTheExe) {
    const AppFiles next = {{"Core.DLL", 0, {}}, {"data\\x.txt", 0, {}}};
    const std::vector<std::string> previous = {"core.dll", "DATA\\X.TXT", "gone.dll", "notes.exe", "data\\y.txt"};
    const std::vector<std::string> expected = {"gone.dll", "data\\y.txt"};
    EXPECT_EQ(dropped_app_files(previous, next, "Notes.exe"), expected);
}

TEST(DroppedAppFiles, OnlyAFileWhereANewFolderGoesIsInTheWay) {
    const AppFiles next = {{"Data\\x.txt", 0, {}}, {"a\\b\\c.txt", 0, {}}, {"plain", 0, {}}};
    std::vector<std::string> dropped = {"data", "a", "A\\B", "a\\b\\c", "dat", "plain\\x", "b"};
    EXPECT_EQ(take_paths_in_the_way(dropped, folders_of(next)), (std::vector<std::string>{"data", "a", "A\\B"}));
    EXPECT_EQ(dropped, (std::vector<std::string>{"a\\b\\c", "dat", "plain\\x", "b"}));
}

}  // namespace
}  // namespace plinth
