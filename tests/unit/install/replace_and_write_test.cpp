#include "install/replace_and_write.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace plinth {
namespace {

namespace codes = platform::codes;

const Path kFolder = u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Notes";
const Path kTarget = join_path(kFolder, u"Notes.exe");

std::vector<std::uint8_t> bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

// One file's two steps: staged, then put in place.
Status replace_and_write(platform::Platform& platform, const Path& target, std::span<const std::uint8_t> bytes) {
    if (auto staged = stage_bytes(platform, target, bytes); !staged) return staged;
    return put_in_place(platform, target);
}

Path spare(int n) { return join_path(kFolder, u"Notes.exe." + to_utf16(std::to_string(n)) + u".old"); }

class ReplaceAndWrite : public ::testing::Test {
protected:
    Status run(const Path& target = kTarget) {
        const auto bytes = bytes_of("new app");
        return replace_and_write(fake.platform(), target, bytes);
    }
    fake::FakePlatform fake;
};

TEST_F(ReplaceAndWrite, ANewOrPlainFileTakesOneWriteAndOneRename) {
    for (bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "existing" : "new");
        fake::FakePlatform fresh;
        fresh.files.add_folder(kFolder);
        if (existing) fresh.files.add_file(kTarget, "old app");
        fresh.faults.reset();
        ASSERT_TRUE(replace_and_write(fresh.platform(), kTarget, bytes_of("new app")).ok());
        EXPECT_EQ(fresh.files.list_tree(kFolder), std::vector<Path>{kTarget});
        EXPECT_EQ(fresh.files.text(kTarget), "new app");
        EXPECT_EQ(fresh.faults.call_log(), (std::vector<std::string>{"files.write_file " + to_utf8(kTarget) + ".new.old",
                                                                     "files.replace " + to_utf8(kTarget)}));
    }
}

TEST_F(ReplaceAndWrite, ExistingFileIsDeletedThenWrittenWithoutLeftovers) {
    for (fake::FileAttributes attributes : {fake::FileAttributes{}, fake::FileAttributes{.read_only = true}}) {
        SCOPED_TRACE(attributes.read_only ? "read-only" : "plain");
        fake::FakePlatform fresh;
        fresh.files.add_file(kTarget, std::string(5000, 'o'), attributes);
        ASSERT_TRUE(replace_and_write(fresh.platform(), kTarget, bytes_of("new app")).ok());
        EXPECT_EQ(fresh.files.list_tree(kFolder), std::vector<Path>{kTarget});
        EXPECT_EQ(fresh.files.text(kTarget), "new app");
        EXPECT_FALSE(fresh.files.metadata(kTarget)->read_only);
    }
}

TEST_F(ReplaceAndWrite, ReadOnlyFileWhereTheHandleRouteIsRefusedIsMovedAside) {
    // As under Wine: the second deletion attempt fails with error 87, so the file counts as
    // undeletable and takes a spare name, and the new file still lands under the target name.
    fake.files.set_disposition_ex_supported(false);
    fake.files.add_file(kTarget, "old app", {.read_only = true});
    ASSERT_TRUE(run().ok());
    EXPECT_EQ(fake.files.text(kTarget), "new app");
    EXPECT_EQ(fake.files.text(spare(1)), "old app");
}

TEST_F(ReplaceAndWrite, RunningFileMovesToTheFirstSpareName) {
    fake.files.add_file(kTarget, "old app", {.running = true});
    ASSERT_TRUE(run().ok());
    EXPECT_EQ(fake.files.list_tree(kFolder), (std::vector<Path>{kTarget, spare(1)}));
    EXPECT_EQ(fake.files.text(kTarget), "new app");
    EXPECT_EQ(fake.files.text(spare(1)), "old app");
}

TEST_F(ReplaceAndWrite, ADeletableLeftoverIsClearedAndItsNameReused) {
    fake.files.add_file(kTarget, "old app", {.running = true});
    fake.files.add_file(spare(1), "older app");
    ASSERT_TRUE(run().ok());
    EXPECT_EQ(fake.files.list_tree(kFolder), (std::vector<Path>{kTarget, spare(1)}));
    EXPECT_EQ(fake.files.text(spare(1)), "old app");
}

TEST_F(ReplaceAndWrite, ALeftoverStillRunningPushesOnToTheNextNumber) {
    fake.files.add_file(kTarget, "old app", {.running = true});
    fake.files.add_file(spare(1), "older app", {.running = true});
    ASSERT_TRUE(run().ok());
    EXPECT_EQ(fake.files.text(spare(1)), "older app");
    EXPECT_EQ(fake.files.text(spare(2)), "old app");
    EXPECT_EQ(fake.files.text(kTarget), "new app");
}

TEST_F(ReplaceAndWrite, AFailedRenameTriesTheNextNumber) {
    fake.files.add_file(kTarget, "old app", {.running = true});
    fake.faults.fail("files.rename", codes::kAccessDenied, 1);
    ASSERT_TRUE(run().ok());
    EXPECT_FALSE(fake.files.exists(spare(1)));
    EXPECT_EQ(fake.files.text(spare(2)), "old app");
}

TEST_F(ReplaceAndWrite, NinetyNineIsTheLastSpareName) {
    // Boundary pair: with 98 names held the 99th is used; with all 99 held the write is refused.
    for (int held : {98, 99}) {
        SCOPED_TRACE(held);
        fake::FakePlatform fresh;
        fresh.files.add_file(kTarget, "old app", {.running = true});
        for (int n = 1; n <= held; ++n) fresh.files.add_file(spare(n), "stuck", {.running = true});
        const auto result = replace_and_write(fresh.platform(), kTarget, bytes_of("new app"));
        if (held == 98) {
            ASSERT_TRUE(result.ok());
            EXPECT_EQ(fresh.files.text(spare(99)), "old app");
            EXPECT_EQ(fresh.files.text(kTarget), "new app");
        } else {
            ASSERT_FALSE(result.ok());
            EXPECT_EQ(result.error().text, "Can't replace " + to_utf8(kTarget) + ". Close it, then try again.");
            EXPECT_EQ(fresh.files.text(kTarget), "old app");
            EXPECT_FALSE(fresh.files.exists(spare(100)));
            EXPECT_EQ(fresh.files.list_tree(kFolder).size(), 100u);
        }
    }
}

TEST_F(ReplaceAndWrite, AFileThatCanNeitherGoNorMoveIsNotOverwritten) {
    fake.files.add_file(kTarget, "open elsewhere", {.locked = true});
    const auto result = run();
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().text, "Can't replace " + to_utf8(kTarget) + ". Close it, then try again.");
    EXPECT_EQ(fake.files.list_tree(kFolder), std::vector<Path>{kTarget});
    EXPECT_EQ(fake.files.text(kTarget), "open elsewhere");

    // A folder where the file goes is the user's: not moved aside, where a sweep would take it.
    fake::FakePlatform other;
    other.files.add_file(join_path(kTarget, u"notes.txt"), "the user's");
    const auto bytes = bytes_of("new app");
    const auto refused = replace_and_write(other.platform(), kTarget, bytes);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().text, "Can't replace " + to_utf8(kTarget) + ". Close it, then try again.");
    EXPECT_EQ(other.files.list_tree(kFolder), (std::vector<Path>{kTarget, join_path(kTarget, u"notes.txt")}));
}

TEST_F(ReplaceAndWrite, AFailedWriteNamesThePathAndTheSystemsReason) {
    fake.files.add_folder(kFolder);
    fake.faults.fail("files.write_file", codes::kDiskFull);
    const auto result = run();
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().text,
              "Can't write " + to_utf8(kTarget) + ": There is not enough space on the disk. (os error 112)");
    fake.faults.reset();
    const auto missing = replace_and_write(fake.platform(), u"Q:\\Gone\\Notes.exe", bytes_of("x"));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().text,
              "Can't write Q:\\Gone\\Notes.exe: The system cannot find the path specified. (os error 3)");
}

TEST_F(ReplaceAndWrite, SpareNamesComeFromTheNameAsTextAndStayBesideTheTarget) {
    const Path odd = join_path(kFolder, std::u16string(u"N") + char16_t(0xDC00) + u".exe");
    fake.files.add_file(odd, "old", {.running = true});
    ASSERT_TRUE(run(odd).ok());
    EXPECT_EQ(fake.files.text(join_path(kFolder, u"N\uFFFD.exe.1.old")), "old");
    EXPECT_EQ(fake.files.text(odd), "new app");

    // A pair stays as it is; a high surrogate that ends the name has no pair, whatever follows.
    const Path paired = join_path(kFolder, u"P\U0001F600.exe");
    const Path last_high = join_path(kFolder, std::u16string(u"H.exe") + char16_t(0xD83D));
    for (const Path& target : {paired, last_high}) {
        fake.files.add_file(target, "old", {.running = true});
        ASSERT_TRUE(run(target).ok());
    }
    EXPECT_EQ(fake.files.text(join_path(kFolder, u"P\U0001F600.exe.1.old")), "old");
    EXPECT_EQ(fake.files.text(join_path(kFolder, u"H.exe\uFFFD.1.old")), "old");

    // A file at the root keeps its spare name at the root, not in the current folder.
    fake.files.add_file(u"\\Root.exe", "old", {.running = true});
    ASSERT_TRUE(run(u"\\Root.exe").ok());
    EXPECT_EQ(fake.files.text(u"\\Root.exe.1.old"), "old");
    EXPECT_FALSE(fake.files.exists(u"Root.exe.1.old"));
}

}  // namespace
}  // namespace plinth
