#include "deletion/leftover_sweep.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace plinth {
namespace {

const Path kFolder = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes";

TEST(SweepLeftovers, DeletesExactlyTheNamesEndingInDotOld) {
    fake::FakePlatform fake;
    const std::u16string unpaired{char16_t(0xD800)};
    for (const Path& name : {Path(u"App.exe"), Path(u"uninstall.exe"), Path(u"notes.OLD"), Path(u"memo.Old"),
                             Path(u"old"), Path(u"x.ol"), Path(u"App.exe.old.txt")}) {
        fake.files.add_file(join_path(kFolder, name), "keep");
    }
    for (const Path& name : {Path(u"App.exe.1.old"), Path(u"App.exe.new.old"), Path(u".old"), Path(u"mine.old"), unpaired + u".old",
                             Path(u"ro.old")}) {
        fake.files.add_file(join_path(kFolder, name), "goes", {.read_only = name == u"ro.old"});
    }
    fake.files.add_file(join_path(kFolder, u"sub\\deep.old"), "not swept: only the folder's own entries");
    fake.files.add_file(join_path(kFolder, u"lib.new.old\\deeper\\a.dll"), "a staged folder goes whole");
    fake.files.add_folder(join_path(kFolder, u"empty.new.old"));
    fake.files.add_file(join_path(kFolder, u"lib.12.old\\sub\\b.dll"), "a folder moved aside goes whole");
    fake.files.add_file(join_path(kFolder, u"photos.old\\mine.jpg"), "a folder of another name is the user's");
    fake.files.add_file(join_path(kFolder, u"v..old\\mine.jpg"), "and this");

    sweep_leftovers(fake.platform(), kFolder);

    EXPECT_EQ(fake.files.list_tree(kFolder),
              (std::vector<Path>{join_path(kFolder, u"App.exe"), join_path(kFolder, u"App.exe.old.txt"),
                                 join_path(kFolder, u"memo.Old"), join_path(kFolder, u"notes.OLD"),
                                 join_path(kFolder, u"old"), join_path(kFolder, u"photos.old"),
                                 join_path(kFolder, u"photos.old\\mine.jpg"), join_path(kFolder, u"sub"),
                                 join_path(kFolder, u"sub\\deep.old"), join_path(kFolder, u"uninstall.exe"),
                                 join_path(kFolder, u"v..old"), join_path(kFolder, u"v..old\\mine.jpg"),
                                 join_path(kFolder, u"x.ol")}));
}

TEST(SweepLeftovers, AnEntryThatCantBeDeletedOrIsALinkStaysAndTheRestGo) {
    fake::FakePlatform fake;
    fake.files.add_file(join_path(kFolder, u"App.exe.1.old"), "running", {.running = true});
    fake.files.add_file(join_path(kFolder, u"App.exe.2.old"), "open", {.locked = true});
    fake.files.add_folder(join_path(kFolder, u"folder.old"));
    fake.files.add_file(join_path(kFolder, u"App.exe.3.old"), "free");
    fake.files.add_link(join_path(kFolder, u"file-link.old"), u"C:\\Users\\Ann\\report.txt", false);
    fake.files.add_link(join_path(kFolder, u"folder-link.old"), u"C:\\Users\\Ann", true);
    fake.files.add_file(u"C:\\Users\\Ann\\report.txt", "the user's");
    fake.files.add_file(join_path(kFolder, u"lib.new.old\\held.dll"), "open", {.locked = true});
    fake.files.add_file(join_path(kFolder, u"lib.new.old\\free.dll"), "free");
    sweep_leftovers(fake.platform(), kFolder);
    EXPECT_EQ(fake.files.list_tree(kFolder),
              (std::vector<Path>{join_path(kFolder, u"App.exe.1.old"), join_path(kFolder, u"App.exe.2.old"),
                                 join_path(kFolder, u"file-link.old"), join_path(kFolder, u"folder-link.old"),
                                 join_path(kFolder, u"folder.old"), join_path(kFolder, u"lib.new.old"),
                                 join_path(kFolder, u"lib.new.old\\held.dll")}));
}

TEST(SweepLeftovers, AFolderThatCantBeListedIsLeftAlone) {
    fake::FakePlatform fake;
    sweep_leftovers(fake.platform(), kFolder);  // missing
    fake.files.add_file(join_path(kFolder, u"a.old"), "x");
    fake.faults.fail("files.list_folder", platform::codes::kAccessDenied);
    sweep_leftovers(fake.platform(), kFolder);
    EXPECT_TRUE(fake.files.exists(join_path(kFolder, u"a.old")));
}

}  // namespace
}  // namespace plinth
