// Every failure text of the catalogue, raised by the code that raises it in a real run, and shown
// where it belongs: on standard error in a silent run; on the failure page (operation failures)
// or the damaged-installer page plus standard error (package failures) in an interactive run.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "entry/run.h"
#include "package/container.h"
#include "platform/fake/fake_platform.h"
#include "support/zlib_stream.h"

namespace plinth {
namespace {

using fake::FakePlatform;
using fake::UserAction;

const std::string kManifest =
    R"({"name":"Sketch Pad","id":"com.example.sketchpad","version":"2.0","exe":"SketchPad.exe"})";
const std::string kFolder = "C:\\Users\\Ann\\AppData\\Local\\Programs\\Sketch Pad";
const std::u16string kFolder16 = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Sketch Pad";

void usable_package(FakePlatform& fake) {
    fake.module.package = build_package(kManifest, testing_support::zlib_stream("MZ the app"));
    fake.files.add_file(fake.module.path, "MZ the installer");
}

enum class Where { package, install, removal };

struct CatalogueEntry {
    const char* template_text;  // the catalogue's wording, for the coverage check
    Where where;
    std::function<void(FakePlatform&)> arrange;
    std::string expected;
};

std::vector<CatalogueEntry> catalogue() {
    return {
        {"It has nothing in it to install.", Where::package, [](FakePlatform& f) { f.module.package.reset(); },
         "It has nothing in it to install."},
        {"Its contents can't be read.", Where::package,
         [](FakePlatform& f) { f.module.package = build_package(R"({"name":"Sketch Pad","id":""})", {}); },
         "Its contents can't be read."},
        {"<system message of the last error>", Where::package,
         [](FakePlatform& f) {
             usable_package(f);
             f.module.package_load_error = 5;
         },
         "Access is denied."},
        {"Can't create the folder {}: {}", Where::install,
         [](FakePlatform& f) {
             usable_package(f);
             f.faults.fail("files.create_folder_tree", 5);
         },
         "Can't create the folder " + kFolder + ": Access is denied. (os error 5)"},
        {"The app inside the installer is damaged.", Where::install,
         [](FakePlatform& f) {
             f.module.package = build_package(kManifest, std::vector<std::uint8_t>{0x78, 0x9C, 1, 2, 3});
             f.files.add_file(f.module.path, "MZ the installer");
         },
         "The app inside the installer is damaged."},
        {"Can't replace {}. Close it, then try again.", Where::install,
         [](FakePlatform& f) {
             usable_package(f);
             f.files.add_file(kFolder16 + u"\\SketchPad.exe", "old", {.locked = true});
         },
         "Can't replace " + kFolder + "\\SketchPad.exe. Close it, then try again."},
        {"Can't write {}: {}", Where::install,
         [](FakePlatform& f) {
             usable_package(f);
             f.faults.fail("files.write_file", 112);
         },
         "Can't write " + kFolder + "\\SketchPad.exe: There is not enough space on the disk. (os error 112)"},
        {"<OS error text alone>", Where::install,
         [](FakePlatform& f) {
             usable_package(f);
             f.faults.fail("module.own_path", 2);
         },
         "The system cannot find the file specified. (os error 2)"},
        {"Can't read the installer: {}", Where::install,
         [](FakePlatform& f) {
             usable_package(f);
             f.faults.fail_on_path("files.read_file", f.module.path, 5);
         },
         "Can't read the installer: Access is denied. (os error 5)"},
        {"Can't add the shortcut {}: {}", Where::install,
         [](FakePlatform& f) {
             usable_package(f);
             f.faults.fail("shell.create_shortcut", 0x80070005u);
         },
         "Can't add the shortcut C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\"
         "Sketch Pad.lnk: Access is denied."},
        {"Can't write to the registry ({}, error {}).", Where::install,
         [](FakePlatform& f) {
             usable_package(f);
             f.faults.fail("registry.create_key", 5);
         },
         "Can't write to the registry (Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\com.example.sketchpad, "
         "error 5)."},
        {"{} is open. Quit it, then try again.", Where::removal,
         [](FakePlatform& f) {
             usable_package(f);
             f.session.command_line = {f.module.path, u"/S"};
             ASSERT_EQ(run_setup(f.platform()), 0);
             f.files.set_attributes(kFolder16 + u"\\SketchPad.exe", {.running = true});
             f.session.standard_error.clear();
         },
         "Sketch Pad is open. Quit it, then try again."},
    };
}

std::vector<std::u16string> arguments(const FakePlatform& f, Where where, bool silent) {
    std::vector<std::u16string> args{f.module.path};
    if (where == Where::removal) args.push_back(u"/uninstall");
    if (silent) args.push_back(u"/S");
    return args;
}

TEST(FailureCatalogue, SilentRunsWriteEachTextOnStandardError) {
    for (const auto& entry : catalogue()) {
        SCOPED_TRACE(entry.template_text);
        FakePlatform fake;
        entry.arrange(fake);
        fake.session.command_line = arguments(fake, entry.where, true);
        EXPECT_EQ(run_setup(fake.platform()), 1);
        EXPECT_EQ(fake.session.standard_error, "setup: " + entry.expected + "\n");
        EXPECT_EQ(fake.dialogs.dialogs_shown, 0);
    }
}

TEST(FailureCatalogue, InteractiveRunsShowEachTextOnItsPage) {
    for (const auto& entry : catalogue()) {
        SCOPED_TRACE(entry.template_text);
        FakePlatform fake;
        entry.arrange(fake);
        fake.session.command_line = arguments(fake, entry.where, false);
        fake.dialogs.script = {UserAction::click(100), UserAction::click(fake::kIdClose)};
        EXPECT_EQ(run_setup(fake.platform()), 1);
        if (entry.where == Where::package) {
            ASSERT_EQ(fake.dialogs.pages.size(), 1u);
            EXPECT_EQ(fake.dialogs.pages[0].main_instruction, "This installer is damaged");
            EXPECT_EQ(fake.dialogs.pages[0].content, entry.expected);
            EXPECT_EQ(fake.session.standard_error, "setup: " + entry.expected + "\n");
        } else {
            ASSERT_EQ(fake.dialogs.pages.size(), 2u);
            EXPECT_EQ(fake.dialogs.pages[1].main_instruction,
                      entry.where == Where::removal ? "Sketch Pad couldn't be removed" : "Sketch Pad couldn't be installed");
            EXPECT_EQ(fake.dialogs.pages[1].content, entry.expected);
            EXPECT_EQ(fake.session.standard_error, "");
        }
    }
}

TEST(FailureCatalogue, EveryTextIsCollected) {
    std::set<std::string> templates;
    for (const auto& entry : catalogue()) templates.insert(entry.template_text);
    EXPECT_EQ(templates.size(), 12u);
}

}  // namespace
}  // namespace plinth
