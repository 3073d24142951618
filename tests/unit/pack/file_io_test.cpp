#include "file_io.h"

#include <gtest/gtest.h>

#include <fstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace plinth::pack {
namespace {

class FileIo : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("plinth-pack-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    void write(const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    std::vector<std::string> listing() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::filesystem::path folder_;
};

TEST_F(FileIo, ReplacingWritesTheWholeFileAndLeavesNoTemporary) {
    const auto out = folder_ / "Setup.exe";
    write(out, "old installer, longer than the new one");
    ASSERT_TRUE(write_file_replacing(out, Bytes{'n', 'e', 'w'}).ok());
    EXPECT_EQ(*read_file(out, 100), (Bytes{'n', 'e', 'w'}));
    EXPECT_EQ(listing(), std::vector<std::string>{"Setup.exe"});
}

TEST_F(FileIo, AFailedWriteKeepsTheOldFileAndLeavesNothingElse) {
    // The target is a folder: the rename fails after the temporary file was written.
    const auto out = folder_ / "Setup.exe";
    std::filesystem::create_directories(out / "inside");
    auto result = write_file_replacing(out, Bytes(1000, 1));
    ASSERT_FALSE(result.ok());
    EXPECT_NE(result.error().text.find("Setup.exe"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(out / "inside"));
    EXPECT_EQ(listing(), std::vector<std::string>{"Setup.exe"});

    const auto missing_folder = folder_ / "no-such-folder" / "Setup.exe";
    EXPECT_FALSE(write_file_replacing(missing_folder, Bytes{1}).ok());
    EXPECT_EQ(listing(), std::vector<std::string>{"Setup.exe"});
}

#ifndef _WIN32
// A link planted where the packer's temporary file would go is never followed: another name is
// taken, and the link's target keeps its bytes. An output whose name leaves no room for a random
// part once had one fixed name, <out>.partial, and truncated whatever it led to.
TEST_F(FileIo, TemporaryFilesAreMadeAnewAndNeverThroughALink) {
    const auto victim = folder_ / "victim";
    write(victim, "another user's file");
    const auto out = folder_ / "Setup.exe";
    std::filesystem::create_symlink(victim, folder_ / "Setup.exe.aaaaaaaa.partial");
    const std::vector<std::string> names = {"aaaaaaaa", "bbbbbbbb"};
    std::size_t next = 0;
    auto made = TemporaryFile::create(out, ".partial", [&] { return names[next++]; });
    ASSERT_TRUE(made.ok()) << made.error().text;
    EXPECT_EQ(made->path(), folder_ / "Setup.exe.bbbbbbbb.partial");
    ASSERT_TRUE(made->write_at(0, Bytes{'n', 'e', 'w'}).ok());
    ASSERT_TRUE(made->rename_to(out).ok());
    EXPECT_EQ(*read_file(out, 100), (Bytes{'n', 'e', 'w'}));

    // Every name taken: nothing is made, nothing followed, and the reason says so.
    auto taken = TemporaryFile::create(out, ".partial", [] { return std::string("aaaaaaaa"); });
    ASSERT_FALSE(taken.ok());
    EXPECT_EQ(taken.error().text, "every one of the 16 temporary names tried beside it was taken");
    auto missing = TemporaryFile::create(folder_ / "no-such-folder" / "Setup.exe", ".partial");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().text, "no temporary file can be made beside it: No such file or directory");

    std::filesystem::create_symlink(victim, folder_ / (std::string(245, 'S') + ".partial"));
    for (const std::size_t length : {std::size_t{245}, std::size_t{255}}) {
        const auto long_out = folder_ / std::string(length, 'S');
        const auto written = write_file_replacing(long_out, Bytes{'x'});
        ASSERT_TRUE(written.ok()) << length << ": " << written.error().text;
        std::filesystem::remove(long_out);
    }
    EXPECT_EQ(*read_file(victim, 100), (Bytes{'a', 'n', 'o', 't', 'h', 'e', 'r', ' ', 'u', 's', 'e', 'r', '\'', 's', ' ',
                                               'f', 'i', 'l', 'e'}));
    EXPECT_EQ(listing(), (std::vector<std::string>{std::string(245, 'S') + ".partial", "Setup.exe",
                                                   "Setup.exe.aaaaaaaa.partial", "victim"}));
}
#endif

TEST_F(FileIo, ReadingNamesTheFileAndTheProblem) {
    write(folder_ / "ten", "0123456789");
    EXPECT_EQ(read_file(folder_ / "ten", 10)->size(), 10u);
    auto too_large = read_file(folder_ / "ten", 9);
    ASSERT_FALSE(too_large.ok());
    EXPECT_NE(too_large.error().text.find("Too large"), std::string::npos);
    auto missing = read_file(folder_ / "absent.json", 10);
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().text.find("absent.json: No such file"), std::string::npos);
    EXPECT_FALSE(read_file(folder_, 10).ok());
    write(folder_ / "empty", "");
    EXPECT_TRUE(read_file(folder_ / "empty", 0)->empty());
}

#ifndef _WIN32
// What sits at a walked path when it is read: each must be refused with the file named, and a
// FIFO without hanging in open().
TEST_F(FileIo, AWalkedFileIsReadOnlyAsTheWalkFoundIt) {
    write(folder_ / "outside.txt", "secret");
    write(folder_ / "ten", "0123456789");
    std::filesystem::create_symlink(folder_ / "outside.txt", folder_ / "swapped.txt");
    ASSERT_EQ(::mkfifo((folder_ / "fifo.txt").c_str(), 0600), 0);
    const struct {
        const char* name;
        std::uint64_t walked_size;
        const char* problem;
    } rows[] = {
        {"swapped.txt", 6, "Is a link now"},
        {"fifo.txt", 0, "Is not a regular file"},
        {"ten", 9, "9 bytes when the folder was walked, 10 now"},
        {"absent.txt", 1, "No such file"},
    };
    for (const auto& row : rows) {
        auto read = read_file(folder_ / row.name, ReadRule{100, true, row.walked_size});
        ASSERT_FALSE(read.ok()) << row.name;
        EXPECT_NE(read.error().text.find(row.name), std::string::npos) << read.error().text;
        EXPECT_NE(read.error().text.find(row.problem), std::string::npos) << read.error().text;
    }
    EXPECT_EQ(read_file(folder_ / "ten", ReadRule{100, true, 10})->size(), 10u);
    // A path named on the command line may be a link, but never a FIFO.
    EXPECT_EQ(*read_file(folder_ / "swapped.txt", 100), (Bytes{'s', 'e', 'c', 'r', 'e', 't'}));
    EXPECT_FALSE(read_file(folder_ / "fifo.txt", 100).ok());
}
#endif

TEST_F(FileIo, Utf8PathsSurviveTheRoundTrip) {
    const std::string name = "caf\xC3\xA9 \xF0\x9F\x93\x9D.exe";
    const auto path = folder_ / path_from_utf8(name);
    ASSERT_TRUE(write_file_replacing(path, Bytes{7}).ok());
    EXPECT_EQ(path_to_utf8(path.filename()), name);
    EXPECT_EQ(*read_file(path, 1), Bytes{7});
}

}  // namespace
}  // namespace plinth::pack
