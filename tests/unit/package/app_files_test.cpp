#include "package/app_files.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "package/manifest.h"
#include "support/app_files_resource.h"

namespace plinth {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing_support::app_files_resource;

TEST(AppFilePath, AcceptsAndRefusesAsWindowsWould) {
    const struct {
        std::string path;
        bool accepted;
    } cases[] = {
        {"core.dll", true},
        {"data\\words.txt", true},
        {"deep\\er\\still\\x.bin", true},
        {"sub\\uninstall.exe", true},  // only the top level holds the installer's copy
        {"caf\xC3\xA9\\\xC3\xA9t\xC3\xA9.txt", true},
        {".hidden", true},
        {"", false},
        {"a\\\\b", false},
        {"\\a", false},
        {"a\\", false},
        {"a/b", false},
        {"con\\x.txt", false},
        {"x\\nul.txt", false},
        {"a:b", false},
        {"a\\..\\b", false},
        {".\\b", false},
        {"dir.\\x", false},
        {"x.txt ", false},
        {"dir \\x", false},
        {"a.OLD", false},
        {"b.old\\x.txt", false},
        {"app.dll.1.old", false},
        {"uninstall.exe", false},
        {"UNINSTALL.EXE", false},
        {"tab\there", false},
        {"bad\xC3", false},
        {"pipe|name", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(!app_file_path_problem(c.path).has_value(), c.accepted) << c.path;
    }
}

TEST(AppFilePath, LengthLimitIsInUtf16Units) {
    EXPECT_FALSE(app_file_path_problem("d\\" + std::string(198, 'x')));  // 200 units
    EXPECT_TRUE(app_file_path_problem("d\\" + std::string(199, 'x')));   // 201
    // é is two UTF-8 bytes but one UTF-16 unit; an emoji is four bytes and two units.
    std::string accented;
    for (int i = 0; i < 200; ++i) accented += "\xC3\xA9";
    EXPECT_FALSE(app_file_path_problem(accented));
    std::string emoji;
    for (int i = 0; i < 100; ++i) emoji += "\xF0\x9F\x98\x80";
    EXPECT_FALSE(app_file_path_problem(emoji));
    EXPECT_TRUE(app_file_path_problem(emoji + "x"));
}

TEST(AppFileSet, RefusesWhatWouldBeOneFileOnWindows) {
    const struct {
        std::vector<std::string> paths;
        bool accepted;
    } cases[] = {
        {{"a.dll", "b.dll", "data\\a.dll"}, true},
        {{"A.dll", "a.DLL"}, false},
        {{"Data\\x.txt", "data\\X.TXT"}, false},
        {{"\xC3\x89t\xC3\xA9.txt", "\xC3\xA9t\xC3\xA9.txt"}, false},            // Étété / étété
        {{"\xD0\x94.txt", "\xD0\xB4.txt"}, false},                               // Cyrillic Д / д
        {{"\xC5\x81\xC3\xB3" "d\xC5\xBA.exe", "\xC5\x82\xC3\xB3" "d\xC5\xBA.exe"}, false},  // Łódź / łódź
        {{"\xE2\x84\xAA.txt", "k.txt"}, true},                                 // Kelvin sign: Windows keeps it apart
        {{"\xC5\xBF.txt", "s.txt"}, true},                                      // long s: upper case one way only
        {{"notes.EXE"}, false},                                                   // the exe itself
        {{"data", "data\\x.txt"}, false},                                         // file and folder
        {{"DATA", "data\\sub\\x.txt"}, false},
        {{"data.txt", "data\\x.txt"}, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(!app_file_set_problem(c.paths, "Notes.exe").has_value(), c.accepted) << c.paths.front();
    }
}

TEST(ReadAppFiles, ReadsWhatTheBuilderWrites) {
    const Bytes resource = app_files_resource({{"core.dll", "MZ core"}, {"data\\words.txt", ""}});
    const auto files = read_app_files(resource);
    ASSERT_TRUE(files) << files.error().text;
    ASSERT_EQ(files->size(), 2u);
    EXPECT_EQ((*files)[0].path, "core.dll");
    EXPECT_EQ((*files)[0].size, 7u);
    EXPECT_EQ((*files)[1].path, "data\\words.txt");
    EXPECT_EQ((*files)[1].size, 0u);
    // The streams are views into the resource, back to back up to its end.
    EXPECT_EQ((*files)[0].stream.data() + (*files)[0].stream.size(), (*files)[1].stream.data());
    EXPECT_EQ((*files)[1].stream.data() + (*files)[1].stream.size(), resource.data() + resource.size());
}

void put_u32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

TEST(ReadAppFiles, RefusesDamagedTablesAsUnreadable) {
    const Bytes good = app_files_resource({{"a.dll", "aaaa"}, {"sub\\b.txt", "bb"}});
    const std::size_t first_entry = kAppFilesHeaderSize;
    const struct {
        const char* what;
        std::function<void(Bytes&)> damage;
    } cases[] = {
        {"empty", [](Bytes& b) { b.clear(); }},
        {"magic", [](Bytes& b) { b[0] = 'X'; }},
        {"header cut", [](Bytes& b) { b.resize(kAppFilesHeaderSize - 1); }},
        {"no files", [](Bytes& b) { put_u32(b, 8, 0); }},
        {"more files than allowed", [](Bytes& b) { put_u32(b, 8, kMaxAppFiles + 1); }},
        {"count beyond the table", [](Bytes& b) { put_u32(b, 8, 3); }},
        {"entry cut", [&](Bytes& b) { b.resize(first_entry + kAppFileEntryHeaderSize - 1); }},
        {"path beyond the end", [&](Bytes& b) { b[first_entry] = 0xFF; b[first_entry + 1] = 0xFF; }},
        {"size too large", [&](Bytes& b) { put_u32(b, first_entry + 2, kMaxAppFileSize + 1u); }},
        {"stream one byte short", [](Bytes& b) { b.pop_back(); }},
        {"one byte after the streams", [](Bytes& b) { b.push_back(0); }},
        {"stream length beyond", [&](Bytes& b) { put_u32(b, first_entry + 6, 0xFFFFFFFF); }},
        {"path breaks the rule", [&](Bytes& b) { b[first_entry + kAppFileEntryHeaderSize] = ':'; }},
        {"path of invalid UTF-8", [&](Bytes& b) { b[first_entry + kAppFileEntryHeaderSize] = 0xC3; }},
    };
    ASSERT_TRUE(read_app_files(good));
    for (const auto& c : cases) {
        Bytes damaged = good;
        c.damage(damaged);
        const auto files = read_app_files(damaged);
        ASSERT_FALSE(files) << c.what;
        EXPECT_EQ(files.error().text, kUnreadablePackageText) << c.what;
    }
}

TEST(PathsNotIn, ComparesAsWindowsDoes) {
    const std::vector<std::string> rest = paths_not_in({"Core.DLL", "\xC3\x89t\xC3\xA9.txt", "gone.dll"},
                                                       {"core.dll", "\xC3\xA9T\xC3\x89.TXT"});
    EXPECT_EQ(rest, std::vector<std::string>{"gone.dll"});
}

TEST(AppFileSet, CountsComponentsOverEveryPath) {
    const std::string deep = "a\\b\\c\\d\\e\\f\\g\\h\\i\\";  // nine folders
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < kMaxAppFileComponents / 10; ++i) paths.push_back(deep + std::to_string(i));
    EXPECT_FALSE(app_file_set_problem(paths, "Notes.exe"));  // exactly the limit
    paths.push_back("one.more");
    EXPECT_TRUE(app_file_set_problem(paths, "Notes.exe"));
}

TEST(InstalledPaths, ListThatBreaksTheTablesLimitsIsNoList) {
    const std::vector<std::string> paths = {"core.dll", "data\\words.txt"};
    EXPECT_EQ(split_installed_paths(join_installed_paths(paths)), paths);
    EXPECT_EQ(split_installed_paths(""), std::vector<std::string>{});
    for (const char* tampered : {"..\\..\\Documents\\x|ok.dll", "ok.dll||b.dll", "ok.dll|", "|ok.dll",
                                 "C:\\Windows\\x.dll", "ok.dll|uninstall.exe", "a.dll|b.dll.old"}) {
        EXPECT_FALSE(split_installed_paths(tampered)) << tampered;
    }
    std::vector<std::string> many(kMaxAppFiles, "f.dll");
    EXPECT_EQ(split_installed_paths(join_installed_paths(many))->size(), kMaxAppFiles);
    many.push_back("f.dll");
    EXPECT_FALSE(split_installed_paths(join_installed_paths(many)));
    // Within the count, but deeper in all than any table may be: 1,001 paths of 100 components.
    std::string deep = "a";
    for (int i = 1; i < 100; ++i) deep += "\\a";
    std::vector<std::string> nested(kMaxAppFileComponents / 100, deep);
    EXPECT_TRUE(split_installed_paths(join_installed_paths(nested)));
    nested.push_back(deep);
    EXPECT_FALSE(split_installed_paths(join_installed_paths(nested)));
}

}  // namespace
}  // namespace plinth
