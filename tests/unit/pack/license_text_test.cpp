#include "license_text.h"

#include <gtest/gtest.h>

#include <string>

#include "installer_builder.h"
#include "installer_report.h"
#include "pack/hostile_pe.h"
#include "pack/synthetic_pe.h"

namespace plinth::pack {
namespace {

Expected<std::string, std::string> check(const std::string& file) {
    return license_text(ByteView(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
}

TEST(LicenseText, KeepsTextAndRefusesWhatTheWindowCantShow) {
    struct Row {
        std::string file;
        std::string text_or_problem;
    };
    const Row rows[] = {
        {"Terms\n\tof use \xC3\xBC", "Terms\n\tof use \xC3\xBC"},
        {"\xEF\xBB\xBFTerms\r\nend\r\n", "Terms\nend\n"},  // as Notepad saves it
        {std::string(65536, 'a'), std::string(65536, 'a')},
        {std::string(65535, 'a') + "\r\n", std::string(65535, 'a') + "\n"},
        {std::string(65537, 'a'), "it is 65537 bytes; a licence may be at most 65536 bytes (64 KiB). Shorten it, or link to "
                                  "the full text from a shorter one."},
        {"", "it is empty; write the licence's text in it, or leave \"license\" out of the manifest."},
        {"\xEF\xBB\xBF", "it is empty; write the licence's text in it, or leave \"license\" out of the manifest."},
        {"Terms \xE9t\xE9", "it isn't UTF-8; save it as UTF-8 (in Notepad: Save as, Encoding UTF-8)."},
        {"one\ntw\xC3\xB6\r", "line 2, column 4 has the control character U+000D (a carriage return without a line feed); a "
                              "licence may hold tabs and line breaks, but no other control character. Remove it."},
        {std::string("a\0b", 3), "line 1, column 2 has the control character U+0000; a licence may hold tabs and line "
                                 "breaks, but no other control character. Remove it."},
        {"page\n\x0Cnext", "line 2, column 1 has the control character U+000C; a licence may hold tabs and line breaks, "
                           "but no other control character. Remove it."},
        {"c1 \xC2\x85", "line 1, column 4 has the control character U+0085; a licence may hold tabs and line breaks, but "
                        "no other control character. Remove it."},
    };
    for (const Row& row : rows) {
        const auto result = check(row.file);
        EXPECT_TRUE((result ? *result : result.error()) == row.text_or_problem)
            << row.file.substr(0, 40) << ": " << (result ? result->substr(0, 40) : result.error());
    }
}

TEST(LicenseText, TheInstallerCarriesItAndInspectNamesItsFirstLine) {
    InstallerInputs in;
    in.manifest_json = R"({"name": "Notes", "id": "com.example.notes", "exe": "Notes.exe", "license": "LICENSE.txt",
                           "allowFolderChoice": true})";
    in.app = Bytes(100, 'x');
    in.stub = testing::build_stub(testing::plain_stub_tree());
    in.license = "Notes licence \xE2\x80\x93 \"terms\"\nSecond line";
    const auto built = build_installer(in);
    ASSERT_TRUE(built.ok()) << built.error().text;
    EXPECT_TRUE(built->manifest.allow_folder_choice);
    const auto report = describe_installer(built->installer);
    ASSERT_TRUE(report.ok()) << report.error().text;
    EXPECT_NE(report->find("License: \"Notes licence \xE2\x80\x93 \\\"terms\\\"\", 37 bytes\n"), std::string::npos)
        << report->substr(report->find("License"), 80);

    in.license.clear();
    const auto without = build_installer(in);
    ASSERT_TRUE(without.ok());
    EXPECT_NE(describe_installer(without->installer)->find("License: none\n"), std::string::npos);
}

}  // namespace
}  // namespace plinth::pack
