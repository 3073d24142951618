#include "app_folder.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "installer_report.h"
#include "package/app_files.h"
#include "package/payload.h"
#include "pack/synthetic_pe.h"
#include "resource_tree.h"
#include "resource_writer.h"

namespace plinth::pack {
namespace {

namespace fs = std::filesystem;

const char* const kManifest = R"({"name": "Notes", "id": "com.example.notes", "version": "1.0", "exe": "Notes.exe"})";

class AppFolder : public ::testing::Test {
public:
    AppFolder() {
        root = fs::temp_directory_path() /
               ("plinth-app-folder-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    ~AppFolder() override { fs::remove_all(root); }

    void put(const std::string& relative, const std::string& text) {
        const fs::path path = root / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    Result<InstallerInputs> read() {
        InstallerInputs inputs;
        inputs.manifest_json = kManifest;
        if (auto read = read_app_input(root, 1 << 20, inputs); !read) return fail(read.error().text);
        return inputs;
    }

    fs::path root;
};

TEST_F(AppFolder, ListsEveryFileBelowTheFolderButTheExeAndNoEmptyFolder) {
    put("Notes.exe", "MZ notes");
    put("core.dll", "MZ core");
    put("data/words.txt", "apple");
    put("data/deep/more.txt", "pear");
    fs::create_directories(root / "empty" / "still empty");
    auto inputs = read();
    ASSERT_TRUE(inputs) << inputs.error().text;
    EXPECT_EQ(std::string(inputs->app.begin(), inputs->app.end()), "MZ notes");
    std::vector<std::string> paths;
    for (const OtherFile& file : inputs->other_files) paths.push_back(file.path);
    const std::vector<std::string> expected = {"core.dll", "data\\deep\\more.txt", "data\\words.txt"};
    EXPECT_EQ(paths, expected);
    EXPECT_EQ(std::string(inputs->other_files[2].bytes.begin(), inputs->other_files[2].bytes.end()), "apple");
}

TEST_F(AppFolder, RefusesWhatWindowsCantHoldOrTheInstallerWouldBreak) {
    const struct {
        const char* what;
        std::function<void(AppFolder&)> make;
        const char* message_part;
    } cases[] = {
        {"no exe", [](AppFolder& f) { f.put("Other.exe", "x"); }, "no file \"Notes.exe\" at its top level"},
        {"exe only below", [](AppFolder& f) { f.put("bin/Notes.exe", "x"); }, "no file \"Notes.exe\""},
        {"trailing dot", [](AppFolder& f) { f.put("readme.", "x"); }, "ends in a dot or a space"},
        {"trailing space", [](AppFolder& f) { f.put("dir /x.txt", "x"); }, "ends in a dot or a space"},
        {"device name", [](AppFolder& f) { f.put("sub/con.txt", "x"); }, "reserves for a device"},
        {"forbidden character", [](AppFolder& f) { f.put("a:b.txt", "x"); }, "doesn't allow"},
        {"backslash in a name", [](AppFolder& f) { f.put("a\\b.txt", "x"); }, "path separator"},
        {"uninstall.exe", [](AppFolder& f) { f.put("Uninstall.exe", "x"); }, "installer's own copy"},
        {".old", [](AppFolder& f) { f.put("core.dll.old", "x"); }, "\".old\""},
        {"case twins", [](AppFolder& f) { f.put("Core.dll", "x"); f.put("core.DLL", "y"); }, "ignores case"},
        {"exe twin", [](AppFolder& f) { f.put("NOTES.EXE", "y"); }, "ignores case"},
        {"too long", [](AppFolder& f) { f.put("d/" + std::string(199, 'x'), "x"); }, "longer than 200"},
    };
    for (const auto& c : cases) {
        fs::remove_all(root);
        fs::create_directories(root);
        if (std::string(c.what) != "no exe" && std::string(c.what) != "exe only below") put("Notes.exe", "MZ");
        c.make(*this);
        auto inputs = read();
        ASSERT_FALSE(inputs) << c.what;
        EXPECT_NE(inputs.error().text.find(c.message_part), std::string::npos) << c.what << ": " << inputs.error().text;
    }
}

TEST_F(AppFolder, EveryProblemIsReportedInOneRunAndCollisionsNameBothPaths) {
    put("Notes.exe", "MZ");
    put("real/file.txt", "x");
    fs::create_symlink(root / "real" / "file.txt", root / "link one.txt");
    fs::create_symlink(root / "real" / "file.txt", root / "link two.txt");
    put("sub/con.txt", "x");
    put("readme.", "x");
    put("core.dll.old", "x");
    put("bad. /inside.txt", "x");  // a folder's problem once, not again for what lies below it
    auto listing = list_app_folder(root, "Notes.exe");
    ASSERT_FALSE(listing);
    const std::string& text = listing.error().text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5) << text;
    for (const char* part : {"link one.txt is a symbolic link", "link two.txt is a symbolic link", "reserves for a device",
                             "\"readme.\" that ends in a dot", "\".old\"", "\"bad. \" that ends in a dot"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    }

    fs::remove_all(root);
    put("Notes.exe", "MZ");
    put("Data/words.txt", "x");
    put("data/words.txt", "y");
    EXPECT_EQ(list_app_folder(root, "Notes.exe").error().text,
              "The app folder has the folders \"Data\\\" and \"data\\\", which are one folder on Windows (it ignores "
              "case). Give both the same name, or rename one.");
    fs::remove_all(root);
    put("Notes.exe", "MZ");
    put("data/Words.txt", "x");
    put("data/words.TXT", "y");
    EXPECT_EQ(list_app_folder(root, "Notes.exe").error().text,
              "The app folder has \"data\\Words.txt\" and \"data\\words.TXT\", which are one file on Windows (it "
              "ignores case). Rename or remove one of them.");

    // The manifest's "exe" and the file differ in case only: said so, with both fixes.
    fs::remove_all(root);
    put("notes.EXE", "MZ");
    EXPECT_EQ(list_app_folder(root, "Notes.exe").error().text,
              "The app folder has \"notes.EXE\", which differs from the manifest's \"exe\" \"Notes.exe\" only in case. "
              "Write \"exe\": \"notes.EXE\" in the manifest, or rename the file \"Notes.exe\".");
}

TEST_F(AppFolder, RefusesSymbolicLinksWithoutFollowingThem) {
    put("Notes.exe", "MZ");
    put("real/file.txt", "x");
    fs::create_symlink(root / "real" / "file.txt", root / "link.txt");
    auto to_file = read();
    ASSERT_FALSE(to_file);
    EXPECT_NE(to_file.error().text.find("symbolic link"), std::string::npos) << to_file.error().text;

    fs::remove(root / "link.txt");
    fs::create_directory_symlink(root / "real", root / "linked folder");
    auto to_folder = read();
    ASSERT_FALSE(to_folder);
    EXPECT_NE(to_folder.error().text.find("symbolic link"), std::string::npos) << to_folder.error().text;
}

Bytes stub() {
    ResourceTree tree;
    tree.set(ResourceName::number(kTypeManifest), ResourceName::number(1), kLangEnglishUs, Bytes(30, 'm'));
    return testing::build_stub(tree);
}

ResourceTree resources_of(const Bytes& installer) { return *read_resource_tree(*read_pe_image(installer)); }

TEST_F(AppFolder, AFolderOfOnlyTheExeMakesTheSameInstallerAsTheExe) {
    put("Notes.exe", std::string(5000, 'n'));
    auto from_folder = read();
    ASSERT_TRUE(from_folder) << from_folder.error().text;
    from_folder->stub = stub();
    InstallerInputs from_file = *from_folder;
    from_file.app = Bytes(5000, 'n');
    const auto a = build_installer(*from_folder);
    const auto b = build_installer(from_file);
    ASSERT_TRUE(a) << a.error().text;
    ASSERT_TRUE(b);
    EXPECT_EQ(a->installer, b->installer);
    EXPECT_EQ(resources_of(a->installer).find(ResourceName::number(kTypeRcData), ResourceName::number(2)), nullptr);
}

TEST_F(AppFolder, TheOtherFilesTravelAsTheirOwnResourceAndInspectListsThem) {
    put("Notes.exe", "MZ notes");
    put("core.dll", std::string(3000, 'c'));
    put("data/words.txt", "apple");
    auto inputs = read();
    ASSERT_TRUE(inputs) << inputs.error().text;
    inputs->stub = stub();
    const auto built = build_installer(*inputs);
    ASSERT_TRUE(built) << built.error().text;
    EXPECT_EQ(built->other_files_size, 3005u);

    const ResourceTree tree = resources_of(built->installer);
    const auto* languages = tree.find(ResourceName::number(kTypeRcData), ResourceName::number(2));
    ASSERT_NE(languages, nullptr);
    const auto files = read_app_files(languages->begin()->second.bytes);
    ASSERT_TRUE(files) << files.error().text;
    ASSERT_EQ(files->size(), 2u);
    EXPECT_EQ(*inflate_payload((*files)[0].stream), Bytes(3000, 'c'));
    EXPECT_EQ((*files)[1].path, "data\\words.txt");

    const auto report = describe_installer(built->installer);
    ASSERT_TRUE(report) << report.error().text;
    EXPECT_NE(report->find("Other files: 2, 3005 bytes"), std::string::npos) << *report;
    EXPECT_NE(report->find("  data\\words.txt  5 bytes\n"), std::string::npos) << *report;
    // Small streams: each the header with its data, and the stream's end.
    EXPECT_NE(report->find("Pieces: 6 in 3 streams\n"), std::string::npos) << *report;
}

// The packer hands the builder the walked files by path, to be read one at a time: the same
// installer as from their bytes, and a file changed since the walk is refused by name.
TEST_F(AppFolder, FilesGivenByPathBuildTheSameInstallerAndAreReadAsWalked) {
    put("Notes.exe", "MZ notes");
    put("core.dll", std::string(3000, 'c'));
    put("data/words.txt", "apple");
    auto inputs = read();
    ASSERT_TRUE(inputs) << inputs.error().text;
    inputs->stub = stub();
    auto listing = list_app_folder(root, "Notes.exe");
    ASSERT_TRUE(listing) << listing.error().text;
    InstallerInputs by_path = *inputs;
    by_path.other_files.clear();
    for (const AppFolderFile& file : listing->others) by_path.other_files.push_back({file.path, {}, file.source, file.size});
    const auto from_bytes = build_installer(*inputs);
    const auto from_paths = build_installer(by_path);
    ASSERT_TRUE(from_bytes && from_paths);
    EXPECT_EQ(from_bytes->installer, from_paths->installer);
    EXPECT_EQ(from_paths->other_files_size, 3005u);

    put("data/words.txt", "apples");
    const auto changed = build_installer(by_path);
    ASSERT_FALSE(changed);
    EXPECT_NE(changed.error().text.find("words.txt: Changed while the packer worked"), std::string::npos)
        << changed.error().text;
}

Bytes file_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> names_in(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Written to a file as it is made, the installer is byte for byte the one built in memory, and
// what the in-memory writer makes of its resources held whole; the files' table is the runtime's.
// Only the output is left beside it.
TEST_F(AppFolder, WrittenAsItIsMadeTheInstallerIsTheOneBuiltInMemory) {
    put("app/Notes.exe", std::string(70001, 'n'));
    put("app/core.dll", std::string(3000, 'c'));
    put("app/empty.txt", "");
    put("app/data/words.txt", "apple");
    fs::create_directories(root / "out");
    InstallerInputs one_exe;
    one_exe.manifest_json = kManifest;
    one_exe.app = Bytes(70001, 'n');
    one_exe.stub = stub();
    InstallerInputs folder = one_exe;
    ASSERT_TRUE(read_app_input(root / "app", 1 << 20, folder));
    folder.languages = Bytes(123, 'l');
    InstallerInputs by_path = folder;
    by_path.other_files.clear();
    auto listing = list_app_folder(root / "app", "Notes.exe");
    ASSERT_TRUE(listing) << listing.error().text;
    for (const AppFolderFile& file : listing->others) by_path.other_files.push_back({file.path, {}, file.source, file.size});
    for (Compressor c : available_compressors()) {
        for (InstallerInputs* in : {&one_exe, &folder, &by_path}) {
            in->compressor = c;
            const auto in_memory = build_installer(*in);
            ASSERT_TRUE(in_memory) << in_memory.error().text;
            const fs::path out = root / "out" / "Setup.exe";
            const auto written = build_installer_file(*in, out);
            ASSERT_TRUE(written) << written.error().text;
            EXPECT_EQ(file_bytes(out), in_memory->installer) << compressor_name(c);
            EXPECT_EQ(written->installer_size, in_memory->installer.size());
            EXPECT_EQ(names_in(root / "out"), std::vector<std::string>{"Setup.exe"});

            const ResourceTree tree = resources_of(in_memory->installer);
            EXPECT_EQ(*replace_resources(in->stub, tree), in_memory->installer);
            if (const auto* files = tree.find(ResourceName::number(kTypeRcData), ResourceName::number(2))) {
                const Bytes& resource = files->begin()->second.bytes;
                EXPECT_EQ(build_app_files(*read_app_files(resource)), resource);
                EXPECT_EQ(written->other_files_resource_size, resource.size());
            }
        }
    }
}

// A pack that fails leaves the output as it was and nothing beside it: refused before a stream
// is kept, after the app's stream was kept, with no folder to write to, or with a folder where
// the output should go.
TEST_F(AppFolder, AFailedWriteLeavesTheOutputAsItWasAndNoTemporaryFile) {
    put("app/Notes.exe", "MZ notes");
    put("app/data/words.txt", "apple");
    put("out/Setup.exe", "the last installer");
    fs::create_directories(root / "out" / "Folder.exe");
    InstallerInputs in;
    in.manifest_json = kManifest;
    in.app = Bytes(5000, 'n');
    in.stub = stub();
    auto listing = list_app_folder(root / "app", "Notes.exe");
    ASSERT_TRUE(listing) << listing.error().text;
    for (const AppFolderFile& file : listing->others) in.other_files.push_back({file.path, {}, file.source, file.size});
    InstallerInputs bad_manifest = in;
    bad_manifest.manifest_json = "{";
    struct Case {
        const char* what;
        const InstallerInputs& in;
        bool changed;  // the walked file, after the walk
        fs::path out;
        std::string message;
    };
    const Case cases[] = {
        {"a refused manifest", bad_manifest, false, root / "out" / "Setup.exe", "line 1"},
        {"a file changed after the walk", in, true, root / "out" / "Setup.exe", "words.txt: Changed while the packer worked"},
        {"no folder", in, false, root / "out" / "missing" / "Setup.exe", "can't be kept beside it (the folder is missing"},
        {"a folder in the way", in, false, root / "out" / "Folder.exe", "Folder.exe: Can't be replaced"},
    };
    const std::string last = "the last installer";
    for (const Case& c : cases) {
        put("app/data/words.txt", c.changed ? "apples" : "apple");
        const auto built = build_installer_file(c.in, c.out);
        ASSERT_FALSE(built) << c.what;
        EXPECT_NE(built.error().text.find(c.message), std::string::npos) << c.what << ": " << built.error().text;
        EXPECT_EQ(names_in(root / "out"), (std::vector<std::string>{"Folder.exe", "Setup.exe"})) << c.what;
        EXPECT_EQ(file_bytes(root / "out" / "Setup.exe"), Bytes(last.begin(), last.end())) << c.what;
        EXPECT_TRUE(fs::is_empty(root / "out" / "Folder.exe")) << c.what;
    }
}

}  // namespace
}  // namespace plinth::pack
