#include "install/install_steps.h"

#include <zlib.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "operation/setup_operation.h"
#include "platform/fake/fake_platform.h"
#include "support/zlib_stream.h"

namespace plinth {
namespace {

namespace codes = platform::codes;
using Bytes = std::vector<std::uint8_t>;

const std::u16string kEntryKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\com.example.notes";
const Path kFolder = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes";
const Path kApp = kFolder + u"\\Notes.exe";
const Path kUninstaller = kFolder + u"\\uninstall.exe";
const Path kInstaller = u"C:\\Users\\Ann\\Downloads\\Setup.exe";
const Path kStartMenu = u"C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Notes.lnk";
const Path kDesktop = u"C:\\Users\\Ann\\Desktop\\Notes.lnk";

Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    std::uint32_t state = seed;
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>((state = state * 1103515245u + 12345u) >> 24);
    return bytes;
}

AppManifest notes_manifest(std::string version = "1.2.0") {
    AppManifest manifest;
    manifest.name = "Notes";
    manifest.id = "com.example.notes";
    manifest.version = std::move(version);
    manifest.publisher = "Example Ltd";
    manifest.exe = "Notes.exe";
    manifest.documents = {{"Notes document", {"note", "notes"}, true, 1}};
    return manifest;
}

// One machine: an installer in Downloads carrying the Notes app.
struct Machine {
    explicit Machine(Bytes app_bytes = pattern(1'000'000, 1), Bytes installer_bytes = pattern(500'000, 2))
        : app(std::move(app_bytes)),
          installer(std::move(installer_bytes)),
          payload(testing_support::zlib_stream(app, 6)) {
        fake.files.add_file(kInstaller, installer);
        fake.module.path = kInstaller;
        state.platform = &fake.platform();
        state.manifest = notes_manifest();
        state.payload = payload;
    }
    Status install() {
        state.done = false;
        return install_app(fake.platform(), state);
    }

    fake::FakePlatform fake;
    Bytes app;
    Bytes installer;
    Bytes payload;
    SetupState state;
};

// What a clean install leaves behind, to compare later runs with.
std::string clean_install_dump(bool desktop = false) {
    Machine clean;
    clean.state.desktop_shortcut = desktop;
    EXPECT_TRUE(clean.install().ok());
    return clean.fake.state_dump();
}

TEST(InstallApp, CleanInstallWritesEverythingAndSetsDone) {
    Machine machine;
    ASSERT_TRUE(machine.install().ok());
    EXPECT_TRUE(machine.state.done);
    auto& files = machine.fake.files;
    EXPECT_EQ(files.bytes(kApp), machine.app);
    EXPECT_EQ(files.bytes(kUninstaller), machine.installer);
    EXPECT_EQ(files.list_tree(kFolder), (std::vector<Path>{kApp, kUninstaller}));
    EXPECT_TRUE(files.exists(kStartMenu));
    EXPECT_FALSE(files.exists(kDesktop));
    ASSERT_EQ(machine.fake.shell.shortcuts.size(), 1u);
    EXPECT_EQ(machine.fake.shell.shortcuts[0].target_path, kApp);
    auto& registry = machine.fake.registry;
    EXPECT_EQ(registry.text(kEntryKey, u"InstallLocation"), to_utf8(kFolder));
    EXPECT_EQ(registry.text(kEntryKey, u"DisplayIcon"), to_utf8(kApp) + ",0");
    EXPECT_EQ(registry.text(kEntryKey, u"UninstallString"), "\"" + to_utf8(kUninstaller) + "\" /uninstall");
    // (1 000 000 inflated bytes + a 500 000-byte installer) / 1024, rounded down.
    EXPECT_EQ(registry.number(kEntryKey, u"EstimatedSize"), 1464u);
    EXPECT_EQ(registry.text(u"Software\\Classes\\.note", u""), "com.example.notes.note");
    EXPECT_EQ(machine.fake.shell.notifications.size(), 1u);
    EXPECT_EQ(registry.open_keys(), 0);
}

TEST(InstallApp, TheDesktopFlagAddsTheDesktopShortcut) {
    Machine machine;
    machine.state.desktop_shortcut = true;
    ASSERT_TRUE(machine.install().ok());
    EXPECT_TRUE(machine.fake.files.exists(kStartMenu));
    EXPECT_TRUE(machine.fake.files.exists(kDesktop));
}

TEST(InstallApp, StepsRunInTheirOrder) {
    Machine machine;
    machine.fake.faults.reset();
    ASSERT_TRUE(machine.install().ok());
    // The first call of each kind of step, in the order they happened.
    const std::vector<std::string> markers = {
        "files.create_folder_tree " + to_utf8(kFolder),
        "files.list_folder " + to_utf8(kFolder),
        // A folder this run created: the exe goes straight to its name.
        "files.create_new " + to_utf8(kApp),
        "module.own_path",
        "files.metadata " + to_utf8(kInstaller),
        "files.canonical_path " + to_utf8(kInstaller),
        "files.read_file " + to_utf8(kInstaller),
        "files.write_file " + to_utf8(kUninstaller) + ".new.old",
        "files.replace " + to_utf8(kUninstaller),
        "shell.create_shortcut " + to_utf8(kStartMenu),
        "registry.create_key " + to_utf8(kEntryKey),
    };
    std::vector<std::string> seen;
    for (const std::string& call : machine.fake.faults.call_log()) {
        for (const std::string& marker : markers) {
            if (call == marker && std::find(seen.begin(), seen.end(), marker) == seen.end()) seen.push_back(marker);
        }
    }
    EXPECT_EQ(seen, markers);
}

struct StepFault {
    const char* label;
    const char* operation;
    Path path;  // empty: every call of the operation
    std::uint32_t code;
    std::string text;
    std::vector<Path> present;  // left in place by the steps before
    std::vector<Path> absent;
};

TEST(InstallApp, AFailingStepLeavesNoNewFileBeforeTheSwapAndARerunConvergesOnACleanInstall) {
    const std::string clean = clean_install_dump();
    const std::string folder = to_utf8(kFolder);
    const StepFault faults[] = {
        {"create the folder", "files.create_folder_tree", kFolder, codes::kAccessDenied,
         "Can't create the folder " + folder + ": Access is denied. (os error 5)", {}, {kFolder}},
        {"write the app", "files.write", kApp, codes::kDiskFull,
         "Can't write " + to_utf8(kApp) + ": There is not enough space on the disk. (os error 112)", {kFolder},
         {kApp, kUninstaller}},
        {"installer path", "module.own_path", {}, codes::kAccessDenied, "Access is denied. (os error 5)", {kFolder},
         {kApp, kUninstaller}},
        {"read the installer", "files.read_file", kInstaller, codes::kSharingViolation,
         "Can't read the installer: The process cannot access the file because it is being used by another "
         "process. (os error 32)",
         {kFolder}, {kApp, kUninstaller}},
        {"write uninstall.exe", "files.write_file", kUninstaller + u".new.old", codes::kAccessDenied,
         "Can't write " + to_utf8(kUninstaller) + ": Access is denied. (os error 5)", {kFolder},
         {kApp, kUninstaller}},
        {"put uninstall.exe in place", "files.replace", kUninstaller, codes::kDiskFull,
         "Can't write " + to_utf8(kUninstaller) + ": There is not enough space on the disk. (os error 112)",
         {kApp}, {kUninstaller, kUninstaller + u".new.old"}},
        {"shortcut", "shell.create_shortcut", kStartMenu, static_cast<std::uint32_t>(codes::kEFail),
         "Can't add the shortcut " + to_utf8(kStartMenu) + ": Unspecified error", {kApp, kUninstaller},
         {kStartMenu}},
        {"uninstall key", "registry.create_key", kEntryKey, codes::kAccessDenied,
         "Can't write to the registry (" + to_utf8(kEntryKey) + ", error 5).", {kApp, kUninstaller, kStartMenu},
         {}},
        {"uninstall value", "registry.set_value", u"EstimatedSize", codes::kDiskFull,
         "Can't write to the registry (EstimatedSize, error 112).", {kApp, kUninstaller, kStartMenu}, {}},
        {"association", "registry.create_key", u"Software\\Classes\\.notes", codes::kAccessDenied,
         "Can't write to the registry (Software\\Classes\\.notes, error 5).", {kApp, kUninstaller, kStartMenu},
         {}},
    };
    for (const StepFault& fault : faults) {
        SCOPED_TRACE(fault.label);
        Machine machine;
        if (fault.path.empty()) {
            machine.fake.faults.fail(fault.operation, fault.code);
        } else {
            machine.fake.faults.fail_on_path(fault.operation, fault.path, fault.code);
        }
        const auto failed = machine.install();
        ASSERT_FALSE(failed.ok());
        EXPECT_EQ(failed.error().text, fault.text);
        EXPECT_FALSE(machine.state.done);
        EXPECT_EQ(machine.fake.registry.open_keys(), 0);
        for (const Path& path : fault.present) EXPECT_TRUE(machine.fake.files.exists(path)) << to_utf8(path);
        for (const Path& path : fault.absent) EXPECT_FALSE(machine.fake.files.exists(path)) << to_utf8(path);
        // No staged file outlives the run that wrote it.
        for (const Path& path : machine.fake.files.list_tree(kFolder)) EXPECT_FALSE(path.ends_with(u".old")) << to_utf8(path);

        machine.fake.faults.reset();
        ASSERT_TRUE(machine.install().ok());
        EXPECT_TRUE(machine.state.done);
        EXPECT_EQ(machine.fake.state_dump(), clean);
    }
}

TEST(InstallApp, ADamagedPayloadStopsBeforeAnyFileIsWritten) {
    Machine machine;
    Bytes damaged = machine.payload;
    damaged[damaged.size() / 2] ^= 0x40;
    machine.state.payload = damaged;
    machine.fake.files.add_file(kFolder + u"\\Notes.exe.1.old", "leftover");
    const auto failed = machine.install();
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().text, "The app inside the installer is damaged.");
    // The folder exists and was swept; nothing else happened.
    EXPECT_TRUE(machine.fake.files.is_folder(kFolder));
    EXPECT_TRUE(machine.fake.files.list_tree(kFolder).empty());

    machine.state.payload = machine.payload;
    ASSERT_TRUE(machine.install().ok());
    EXPECT_EQ(machine.fake.state_dump(), clean_install_dump());
}

TEST(InstallApp, AFolderOnAVanishedDriveFailsWithThePathAndTheSystemsText) {
    Machine machine;
    // As under Wine: no user program folder, so LOCALAPPDATA decides, and it is on a drive that
    // has gone away.
    machine.fake.shell.fail_known_folder(platform::KnownFolder::user_program_files, codes::kEFail);
    machine.fake.shell.set_environment(u"LOCALAPPDATA", u"Q:\\Local");
    const auto failed = machine.install();
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().text,
              "Can't create the folder Q:\\Local\\Programs\\Notes: The system cannot find the path specified. "
              "(os error 3)");
}

TEST(InstallApp, AnInstallerWhoseSizeCantBeReadCountsAsZero) {
    Machine machine;
    machine.fake.faults.fail_on_path("files.metadata", kInstaller, codes::kAccessDenied);
    ASSERT_TRUE(machine.install().ok());
    EXPECT_EQ(machine.fake.registry.number(kEntryKey, u"EstimatedSize"), 1'000'000u / 1024);
    EXPECT_EQ(machine.fake.files.bytes(kUninstaller), machine.installer);
}

TEST(InstallApp, AFailingShortcutLeavesNoEntryOnAFirstInstall) {
    Machine machine;
    machine.fake.faults.fail("shell.create_shortcut", static_cast<std::uint32_t>(codes::kEFail));
    ASSERT_FALSE(machine.install().ok());
    EXPECT_FALSE(machine.fake.registry.key_exists(kEntryKey));
    EXPECT_FALSE(machine.fake.registry.key_exists(u"Software\\Classes\\com.example.notes.note"));
    EXPECT_EQ(machine.fake.files.bytes(kApp), machine.app);
    EXPECT_EQ(machine.fake.files.bytes(kUninstaller), machine.installer);
}

TEST(InstallApp, AFailingShortcutOnAnUpdateKeepsTheEarlierEntry) {
    Machine machine;
    ASSERT_TRUE(machine.install().ok());
    const std::string earlier_registry = machine.fake.registry.dump();

    // Version 2 arrives with a new exe; its shortcut can't be saved.
    Machine update(pattern(700'000, 9));
    machine.app = update.app;
    machine.payload = update.payload;
    machine.state.payload = machine.payload;
    machine.state.manifest = notes_manifest("2.0.0");
    machine.fake.faults.fail("shell.create_shortcut", static_cast<std::uint32_t>(codes::kEFail));
    ASSERT_FALSE(machine.install().ok());
    EXPECT_EQ(machine.fake.registry.dump(), earlier_registry);
    EXPECT_EQ(machine.fake.registry.text(kEntryKey, u"DisplayVersion"), "1.2.0");
    EXPECT_EQ(machine.fake.files.bytes(kApp), machine.app);
}

TEST(InstallApp, ARunningAppIsMovedAsideAndSweptByTheNextRun) {
    const std::string clean = clean_install_dump();
    Machine machine;
    ASSERT_TRUE(machine.install().ok());
    machine.fake.files.set_attributes(kApp, {.running = true});
    ASSERT_TRUE(machine.install().ok());
    EXPECT_EQ(machine.fake.files.bytes(kApp), machine.app);
    EXPECT_TRUE(machine.fake.files.exists(kApp + u".1.old"));

    // Still running at the next run: it stays, and the app running from the new file moves on.
    machine.fake.files.set_attributes(kApp, {.running = true});
    ASSERT_TRUE(machine.install().ok());
    EXPECT_TRUE(machine.fake.files.exists(kApp + u".1.old"));
    EXPECT_TRUE(machine.fake.files.exists(kApp + u".2.old"));

    // Once nothing runs, the next run clears every leftover.
    machine.fake.files.set_attributes(kApp + u".1.old", {});
    machine.fake.files.set_attributes(kApp + u".2.old", {});
    ASSERT_TRUE(machine.install().ok());
    EXPECT_EQ(machine.fake.state_dump(), clean);
}

TEST(InstallApp, AReadOnlyAppFromAnEarlierInstallIsReplaced) {
    const std::string clean = clean_install_dump();
    Machine machine;
    machine.fake.files.add_file(kApp, "old, read-only", {.read_only = true});
    ASSERT_TRUE(machine.install().ok());
    EXPECT_EQ(machine.fake.state_dump(), clean);

    // Where the read-only route is refused (Wine), the file is moved aside instead.
    Machine wine;
    wine.fake.files.set_disposition_ex_supported(false);
    wine.fake.files.add_file(kApp, "old, read-only", {.read_only = true});
    ASSERT_TRUE(wine.install().ok());
    EXPECT_EQ(wine.fake.files.bytes(kApp), wine.app);
    EXPECT_EQ(wine.fake.files.text(kApp + u".1.old"), "old, read-only");
}

TEST(InstallApp, RunningAsTheInstalledUninstallerSkipsTheSelfCopy) {
    Machine machine;
    ASSERT_TRUE(machine.install().ok());
    const std::string installed = machine.fake.state_dump();

    // The installed uninstall.exe, started without the remove switch, under another spelling of
    // its path: only the canonical paths tell that it is the same file.
    machine.fake.files.set_attributes(kUninstaller, {.running = true});
    machine.fake.module.path = u"c:\\users\\ann\\appdata\\local\\programs\\notes\\UNINSTALL.EXE";
    machine.fake.faults.reset();
    ASSERT_TRUE(machine.install().ok());
    for (const std::string& call : machine.fake.faults.call_log()) {
        EXPECT_EQ(call.find("files.read_file"), std::string::npos) << call;
        EXPECT_NE(call, "files.write_file " + to_utf8(kUninstaller));
    }
    machine.fake.files.set_attributes(kUninstaller, {});
    EXPECT_EQ(machine.fake.state_dump(), installed);
}

TEST(InstallApp, AnUnresolvableUninstallerPathMeansTheCopyRuns) {
    // Same file, but its canonical path can't be had: the copy goes ahead, moving the running
    // uninstall.exe aside, and the bytes it read are its own.
    Machine machine;
    ASSERT_TRUE(machine.install().ok());
    machine.fake.files.set_attributes(kUninstaller, {.running = true});
    machine.fake.module.path = kUninstaller;
    machine.fake.faults.fail_on_path("files.canonical_path", kUninstaller, codes::kAccessDenied);
    ASSERT_TRUE(machine.install().ok());
    EXPECT_EQ(machine.fake.files.bytes(kUninstaller), machine.installer);
    EXPECT_EQ(machine.fake.files.bytes(kUninstaller + u".1.old"), machine.installer);
}

TEST(InstallApp, AReinstallAndAnUpdateConvergeOnTheirCleanState) {
    Machine machine;
    machine.fake.session.date = {2026, 1, 5};
    ASSERT_TRUE(machine.install().ok());
    machine.fake.session.date = {2026, 12, 7};
    ASSERT_TRUE(machine.install().ok());
    EXPECT_EQ(machine.fake.state_dump(), clean_install_dump());
}

TEST(InstallApp, ARecordedInstallLocationIsWhereTheUpdateGoes) {
    Machine machine;
    machine.fake.files.add_folder(u"D:\\Tools\\Notes Old");
    machine.fake.registry.put_text(kEntryKey, u"InstallLocation", "D:\\Tools\\Notes Old");
    ASSERT_TRUE(machine.install().ok());
    EXPECT_EQ(machine.fake.files.bytes(u"D:\\Tools\\Notes Old\\Notes.exe"), machine.app);
    EXPECT_EQ(machine.fake.files.bytes(u"D:\\Tools\\Notes Old\\uninstall.exe"), machine.installer);
    EXPECT_FALSE(machine.fake.files.exists(kFolder));
    EXPECT_EQ(machine.fake.registry.text(kEntryKey, u"InstallLocation"), "D:\\Tools\\Notes Old");
}

TEST(SetupOperation, InstallsUnlessRemoveModeIsSet) {
    Machine machine;
    ASSERT_TRUE(run_setup_operation(machine.fake.platform(), machine.state).ok());
    EXPECT_TRUE(machine.state.done);
    EXPECT_TRUE(machine.fake.files.exists(kApp));
}

}  // namespace
}  // namespace plinth
