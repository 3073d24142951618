#include "input_roles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <algorithm>

#include "pack/synthetic_pe.h"
#include "version_record.h"

namespace plinth::pack {
namespace {

using testing::build_pe;
using testing::build_stub;
using testing::pe_offset;
using testing::version_record;

Bytes stub_with(const std::vector<std::pair<std::u16string, std::u16string>>& strings, bool with_package = false) {
    ResourceTree tree;
    tree.set(ResourceName::number(kTypeManifest), ResourceName::number(1), kLangEnglishUs, Bytes(30, 'm'));
    if (!strings.empty()) {
        tree.set(ResourceName::number(kTypeVersion), ResourceName::number(1), kLangEnglishUs, version_record(strings));
    }
    if (with_package) {
        tree.set(ResourceName::number(kTypeRcData), ResourceName::number(1), kLangNeutral,
                 Bytes{'P', 'L', 'N', 'S', 'E', 'T', 'U', 'P', 2, 0, 0, 0, '{', '}'});
    }
    return build_stub(tree);
}

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

TEST(VersionStrings, ReadBackWhatEitherWriterWrote) {
    const auto ours = read_version_strings(build_version_record({"Nötes 😀", "2.5.1-beta", "Example Ltd", "Notes Setup"}));
    EXPECT_EQ(ours.at(u"ProductName"), u"Nötes 😀");
    EXPECT_EQ(ours.at(u"ProductVersion"), u"2.5.1-beta");
    EXPECT_EQ(ours.at(u"CompanyName"), u"Example Ltd");
    EXPECT_EQ(ours.at(u"FileDescription"), u"Notes Setup");
    EXPECT_EQ(ours.size(), 4u);

    const auto theirs = read_version_strings(version_record({{u"PlinthRuntime", u"0.1.0"}, {u"Empty", u""}}));
    EXPECT_EQ(theirs, (std::map<std::u16string, std::u16string>{{u"PlinthRuntime", u"0.1.0"}, {u"Empty", u""}}));
}

// A record cut anywhere, or with a length pointing past its end, yields what lies before the
// damage and never reads outside it.
TEST(VersionStrings, DamagedRecordsYieldWhatCanBeRead) {
    const Bytes whole = version_record({{u"ProductName", u"Notes"}, {u"PlinthRuntime", u"0.1.0"}});
    for (std::size_t size = 0; size < whole.size(); ++size) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
        const auto strings = read_version_strings(cut);
        for (const auto& [name, text] : strings) {
            EXPECT_TRUE(name == u"ProductName" || name == u"PlinthRuntime") << size;
        }
        EXPECT_FALSE(strings.contains(u"PlinthRuntime")) << "a cut record can't be whole, at " << size;
    }
    // The last string's length made far too large: it is dropped, the one before it stays.
    Bytes long_string = whole;
    const Bytes key = [] {
        Bytes units;
        for (char16_t unit : std::u16string_view(u"PlinthRuntime")) append_u16(units, unit);
        return units;
    }();
    const auto key_at = std::search(long_string.begin(), long_string.end(), key.begin(), key.end());
    ASSERT_NE(key_at, long_string.end());
    put_u16(long_string, static_cast<std::size_t>(key_at - long_string.begin()) - 6, 0x7fff);
    EXPECT_EQ(read_version_strings(long_string), (std::map<std::u16string, std::u16string>{{u"ProductName", u"Notes"}}));
    EXPECT_TRUE(read_version_strings(Bytes(6, 0)).empty());
}

TEST(InputRoles, TheAppMustBeAWindowsProgram) {
    const auto exe = [](std::uint16_t machine, bool pe32_plus) {
        testing::SyntheticPe pe;
        pe.machine = machine;
        pe.pe32_plus = pe32_plus;
        pe.sections.push_back({".text", Bytes(16, 0xc3)});
        return build_pe(pe);
    };
    const auto with_u16 = [](Bytes image, std::size_t offset, std::uint16_t value) {
        put_u16(image, offset, value);
        return image;
    };
    const Bytes x64 = exe(kMachineAmd64, true);
    const std::size_t characteristics = pe_offset(x64) + 22;
    const std::size_t subsystem = pe_offset(x64) + 24 + 68;
    const std::pair<Bytes, const char*> table[] = {
        {x64, nullptr},
        {exe(0x014c, false), nullptr},
        {exe(0xaa64, true), nullptr},
        {with_u16(x64, subsystem, 3), nullptr},
        {exe(0x01c4, false), "The app is built for ARM Thumb-2 (32-bit), which 64-bit Windows can't run"},
        {exe(0xa641, true), "built for ARM64EC"},
        {exe(0x0200, true), "built for Itanium"},
        {exe(0x1234, true), "built for machine type 0x1234"},
        {with_u16(x64, characteristics, 0x2022), "The app is a DLL, not a program"},
        {with_u16(x64, characteristics, 0x0020), "isn't marked as an executable image"},
        {with_u16(x64, subsystem, 1), "isn't a desktop program (its subsystem is 1"},
        {with_u16(x64, subsystem, 10), "isn't a desktop program (its subsystem is 10"},
        {bytes_of("  {\"name\": \"Notes\"}"), "The app isn't a Windows executable: it looks like JSON text"},
        {bytes_of("\x89PNG\r\n\x1a\n...."), "it is a PNG image"},
        {bytes_of("\x7F" "ELF\2\1\1"), "it is a Linux program (ELF)"},
        {bytes_of("#!/bin/sh\n"), "it is a script"},
        {bytes_of("PK\3\4"), "it is a ZIP archive"},
        {Bytes{}, "it is empty"},
        {bytes_of("plain text"), "it has no MZ header"},
        {bytes_of("MZ and nothing else, but long enough to have a header of sixty-four bytes"),
         "The app isn't a Windows executable that can be used"},
    };
    for (const auto& [bytes, says] : table) {
        const auto problem = app_problem(bytes);
        if (says == nullptr) {
            EXPECT_FALSE(problem.has_value()) << *problem;
        } else {
            ASSERT_TRUE(problem.has_value()) << says;
            EXPECT_NE(problem->find(says), std::string::npos) << *problem;
        }
    }
}

TEST(InputRoles, TheStubMustBeAPlinthRuntimeOfThisVersion) {
    testing::SyntheticPe signed_pe;
    signed_pe.sections.push_back({".text", Bytes(16, 0xc3)});
    const std::pair<Bytes, const char*> table[] = {
        {stub_with({{u"ProductName", u"Plinth"}, {u"PlinthRuntime", u"0.1.0"}}), nullptr},
        {stub_with({{u"PlinthRuntime", u"0.2.0"}}),
         "The stub is the plinth runtime 0.2.0, but this plinth-pack is 0.1.0"},
        {stub_with({{u"PlinthRuntime", u"0.1"}}), "the plinth runtime 0.1, but"},
        {stub_with({}), "The stub isn't a plinth runtime: it is a program without a version record."},
        {stub_with({{u"ProductName", u"Notepad"}, {u"ProductVersion", u"10.0"}, {u"CompanyName", u"Microsoft"}}),
         "The stub isn't a plinth runtime: it is \"Notepad\" 10.0 (Microsoft)."},
        {stub_with({{u"FileDescription", u"Editor"}, {u"FileVersion", u"3"}}), "it is \"Editor\" 3."},
        {stub_with({{u"Comments", u"x"}}), "a program whose version record doesn't say what it is"},
        {stub_with({{u"ProductName", u"Notes"}}, true), "it is an installer that plinth-pack has made"},
        {bytes_of("MZ but nothing else"), "The stub can't be used: not a Windows executable"},
    };
    for (const auto& [bytes, says] : table) {
        const auto problem = stub_problem(bytes, "0.1.0");
        if (says == nullptr) {
            EXPECT_FALSE(problem.has_value()) << *problem;
        } else {
            ASSERT_TRUE(problem.has_value()) << says;
            EXPECT_NE(problem->find(says), std::string::npos) << *problem;
            if (problem->find("can't be used") == std::string::npos) {
                EXPECT_NE(problem->find("Use the plinth-setup.exe that comes with this plinth-pack 0.1.0."), std::string::npos)
                    << *problem;
            }
        }
    }
}

TEST(InputRoles, AnImageGivenAsTheIconGetsHowToMakeAnIcoFile) {
    const std::pair<std::string, const char*> formats[] = {
        {"\x89PNG\r\n\x1a\n", "The icon is a PNG image, not a .ico file"},
        {"\xFF\xD8\xFF\xE0", "a JPEG image"},
        {"GIF89a", "a GIF image"},
        {"GIF87a", "a GIF image"},
        {"BM\x36\0\0\0", "a BMP image"},
        {std::string("RIFF\0\0\0\0WEBPVP8 ", 16), "a WebP image"},
        {std::string("II*\0", 4), "a TIFF image"},
        {std::string("MM\0*", 4), "a TIFF image"},
        {"icns", "a macOS icon (ICNS)"},
        {"<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"/>", "an SVG image"},
        {"MZ\x90\0", "The icon is a Windows executable, not a .ico file. Leave --icon out"},
    };
    for (const auto& [head, says] : formats) {
        const auto hint = icon_format_hint(bytes_of(head), "logo.png");
        ASSERT_TRUE(hint.has_value()) << says;
        EXPECT_NE(hint->find(says), std::string::npos) << *hint;
    }
    // A real icon file, or anything unknown, is left to the icon reader.
    for (const std::string& other : {std::string("\0\0\1\0\1\0", 6), std::string("RIFF\0\0\0\0WAVE", 12), std::string("<html>")}) {
        EXPECT_FALSE(icon_format_hint(bytes_of(other), "logo.png").has_value()) << other;
    }
    // The command names the file as given and an .ico beside it, quoted for a shell when needed.
    const std::pair<std::string, std::string> names[] = {
        {"logo.png", "convert logo.png -background none -define icon:auto-resize=256,64,48,32,16 logo.ico"},
        {"art/logo.v2.png", "convert art/logo.v2.png -background none -define icon:auto-resize=256,64,48,32,16 art/logo.v2.ico"},
        {"logo", "convert logo -background none -define icon:auto-resize=256,64,48,32,16 logo.ico"},
        {"art.d/logo", " art.d/logo.ico"},
        {"my logo.png", "convert 'my logo.png' -background none -define icon:auto-resize=256,64,48,32,16 'my logo.ico'"},
        {"it's.png", "convert 'it'\\''s.png'"},
    };
    for (const auto& [name, command] : names) {
        const auto hint = icon_format_hint(bytes_of("\x89PNG\r\n\x1a\n"), name);
        ASSERT_TRUE(hint.has_value());
        EXPECT_NE(hint->find(command), std::string::npos) << *hint;
    }
}

class OutputProblem : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("plinth-output-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                   std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        std::filesystem::create_directories(folder_ / "dist");
        std::ofstream(folder_ / "app.exe") << "app";
        std::ofstream(folder_ / "other.exe") << "app";  // the same bytes, another file
        std::ofstream(folder_ / "stub.exe") << "stub";
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::optional<std::string> problem(const std::string& out) {
        return output_problem(out, folder_ / out, {{"--app", folder_ / "app.exe"}, {"--stub", folder_ / "stub.exe"}});
    }

    std::filesystem::path folder_;
};

TEST_F(OutputProblem, AFolderOrAnInputIsRefusedByIdentity) {
    std::filesystem::create_hard_link(folder_ / "app.exe", folder_ / "hard.exe");
    std::filesystem::create_symlink(folder_ / "stub.exe", folder_ / "link.exe");
    std::filesystem::create_directory_symlink(folder_ / "dist", folder_ / "dist-link");
    const std::pair<std::string, const char*> table[] = {
        {"new.exe", nullptr},
        {"other.exe", nullptr},
        {"dist/new.exe", nullptr},
        {"missing/new.exe", nullptr},  // left to the writer, which says the folder is missing
        {"dist", "--out is a folder; give the installer's file name, such as dist/MyApp-Setup.exe."},
        {"dist-link", "--out is a folder"},
        {"dist/", "--out is a folder; give the installer's file name, such as dist/MyApp-Setup.exe."},
        {"missing/", "--out ends in a folder separator; give the installer's file name, such as missing/MyApp-Setup.exe."},
        {"app.exe", "--out is the same file as --app"},
        {"dist/../app.exe", "--out is the same file as --app"},
        {"hard.exe", "--out is the same file as --app"},
        {"link.exe", "--out is the same file as --stub"},
        {"stub.exe", "--out is the same file as --stub"},
    };
    for (const auto& [out, says] : table) {
        const auto found = problem(out);
        if (says == nullptr) {
            EXPECT_FALSE(found.has_value()) << out << ": " << *found;
        } else {
            ASSERT_TRUE(found.has_value()) << out;
            EXPECT_NE(found->find(says), std::string::npos) << out << ": " << *found;
        }
    }
}

TEST_F(OutputProblem, AnOutputInsideTheAppFolderIsRefusedWithAdviceThatIsAccepted) {
    std::filesystem::create_directories(folder_ / "v1" / "data");
    const auto app = (folder_ / "v1").string();
    auto at = [&](const std::string& out) { return output_problem(out, folder_ / out, {}, app); };
    const std::pair<std::string, std::string> table[] = {
        {"v1", "--out is a folder; give the installer's file name, such as " + (folder_ / "v1-Setup.exe").string() + "."},
        {"v1/", "--out is a folder; give the installer's file name, such as " + (folder_ / "v1-Setup.exe").string() + "."},
        {"v1/data/Setup.exe", "is inside the app folder " + app +
                                  ", so the next build would pack this installer as one of the app's files. Write it "
                                  "outside, such as " + (folder_ / "v1-Setup.exe").string() + "."},
        {"dist", "--out is a folder; give the installer's file name, such as dist/MyApp-Setup.exe."},
    };
    for (const auto& [out, says] : table) {
        const auto found = at(out);
        ASSERT_TRUE(found.has_value()) << out;
        EXPECT_EQ(*found, says) << out;
    }
    // The advice passes the same check, and so does an app folder given as ".".
    EXPECT_FALSE(output_problem("v1-Setup.exe", folder_ / "v1-Setup.exe", {}, app).has_value());
    EXPECT_FALSE(at("v1.exe").has_value());
    const auto here = output_problem(".", folder_ / "v1", {}, (folder_ / "v1" / ".").string());
    ASSERT_TRUE(here.has_value());
    EXPECT_NE(here->find("such as " + (folder_ / "v1-Setup.exe").string()), std::string::npos) << *here;
}

TEST(InputRoles, IconGroupIdsAreTheAppsIntegerGroups) {
    ResourceTree tree;
    tree.set(ResourceName::number(kTypeGroupIcon), ResourceName::number(7), kLangEnglishUs, Bytes(6, 0));
    tree.set(ResourceName::number(kTypeGroupIcon), ResourceName::number(2), kLangEnglishUs, Bytes(6, 0));
    tree.set(ResourceName::number(kTypeGroupIcon), ResourceName::named(u"MAIN"), kLangEnglishUs, Bytes(6, 0));
    tree.set(ResourceName::number(kTypeIcon), ResourceName::number(3), kLangEnglishUs, Bytes(6, 0));
    EXPECT_EQ(icon_group_ids(build_stub(tree)), (std::set<std::uint16_t>{2, 7}));
    ResourceTree no_groups;
    no_groups.set(ResourceName::number(kTypeIcon), ResourceName::number(1), kLangEnglishUs, Bytes(6, 0));
    EXPECT_EQ(icon_group_ids(build_stub(no_groups)), std::set<std::uint16_t>{});
    EXPECT_FALSE(icon_group_ids(bytes_of("not an exe")).has_value());
}

}  // namespace
}  // namespace plinth::pack
