// The winget manifests against the published 1.10.0 schemas (../shared/winget/, read in place)
// by python3-jsonschema, and the refusals of what those schemas would refuse.
#include "winget_manifests.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sha256.h"

namespace plinth::pack {
namespace {

std::string hex_of(std::string_view text) {
    return sha256_hex(ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

TEST(Sha256, KnownDigestsAcrossTheBlockBoundaries) {
    EXPECT_EQ(hex_of(""), "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855");
    EXPECT_EQ(hex_of("abc"), "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
    // 56 bytes: the length no longer fits the block, a second one follows.
    EXPECT_EQ(hex_of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1");
    EXPECT_EQ(hex_of(std::string(64, 'a')), "FFE054FE7AE0CB6DC65C3AF9B61D5209F439851DB43D0BA5997337DF154668EB");
    EXPECT_EQ(hex_of(std::string(1000000, 'a')), "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0");
}

AppManifest app() {
    AppManifest m{.name = "Notes: \"the\" #1 \\ app", .id = "Example.Notes", .version = "1.2.0",
                  .publisher = "Ex\u00e4mple Ltd", .exe = "Notes.exe"};
    m.documents.push_back({.name = "Note", .extensions = {"note", "NOTE", "txt"}, .owned = true});
    m.documents.push_back({.name = "Yes", .extensions = {"yes"}});
    return m;
}

const WingetRequest kRequest{"Example.Notes", "https://example.com/Notes-Setup.exe", "Proprietary",
                             "Takes notes: quickly"};
const std::string kHash(64, 'A');

// Each manifest's verdict and the JSON a YAML reader makes of it.
std::vector<std::pair<std::string, std::string>> judge(const std::vector<WingetFile>& files) {
    const std::filesystem::path source = PLINTH_SOURCE_DIR;
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("plinth-winget-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(folder);
    std::string command = "/usr/bin/python3 '" + (source / "tests/unit/pack/winget_verdicts.py").string() + "' '" +
                          (source / "../shared/winget").string() + "'";
    for (const WingetFile& file : files) {
        std::ofstream(folder / file.name, std::ios::binary) << file.text;
        command += " '" + (folder / file.name).string() + "'";
    }
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
        EXPECT_EQ(pclose(pipe), 0) << "python3 with jsonschema and yaml is needed (scripts/debian-packages)";
    }
    std::filesystem::remove_all(folder);
    std::vector<std::pair<std::string, std::string>> verdicts;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const auto tab = line.find('\t');
        verdicts.emplace_back(line.substr(0, tab), tab == std::string::npos ? "" : line.substr(tab + 1));
    }
    return verdicts;
}

TEST(WingetManifests, PassThePublishedSchemasAndSayWhatTheInstallerDoes) {
    auto files = winget_manifests(app(), kHash, kRequest);
    ASSERT_TRUE(files.ok());
    ASSERT_EQ(files->size(), 3u);
    EXPECT_EQ((*files)[0].name, "Example.Notes.yaml");
    EXPECT_EQ((*files)[1].name, "Example.Notes.installer.yaml");
    EXPECT_EQ((*files)[2].name, "Example.Notes.locale.en-US.yaml");
    const auto verdicts = judge(*files);
    ASSERT_EQ(verdicts.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(verdicts[i].first, "valid") << (*files)[i].text;

    // What a YAML reader makes of the installer manifest: each value as the package has it.
    const std::string& installer = verdicts[1].second;
    for (const char* expected :
         {R"("InstallerType": "exe")", R"("Scope": "user")", R"("Silent": "/S")", R"("SilentWithProgress": "/S")", R"("InstallLocation": "/dir=\"<INSTALLPATH>\"")",
          R"("UpgradeBehavior": "install")", R"("ProductCode": "Example.Notes")",
          R"("DisplayName": "Notes: \"the\" #1 \\ app")", R"("Publisher": "Ex\u00e4mple Ltd")",
          R"("DisplayVersion": "1.2.0")", R"("FileExtensions": ["note", "txt", "yes"])",
          R"("InstallerReturnCode": 2, "ReturnResponse": "cancelledByUser")",
          R"("InstallerSha256": "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA")",
          R"("InstallerUrl": "https://example.com/Notes-Setup.exe")"}) {
        EXPECT_NE(installer.find(expected), std::string::npos) << expected << "\n" << installer;
    }
    EXPECT_NE(verdicts[2].second.find(R"("ShortDescription": "Takes notes: quickly")"), std::string::npos)
        << verdicts[2].second;
    // The optional keys, and the protocols the installer registers.
    AppManifest linked = app();
    linked.protocols = "notes|notes-beta";
    WingetRequest extras = kRequest;
    extras.publisher_url = "https://example.com";
    extras.release_notes_url = "https://example.com/notes/1.2.0";
    extras.tags = {"notes", "markdown"};
    auto extra_files = winget_manifests(linked, kHash, extras);
    ASSERT_TRUE(extra_files.ok()) << extra_files.error().front();
    const auto extra_verdicts = judge(*extra_files);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(extra_verdicts[i].first, "valid") << (*extra_files)[i].text;
    EXPECT_NE(extra_verdicts[1].second.find(R"("Protocols": ["notes", "notes-beta"])"), std::string::npos) << extra_verdicts[1].second;
    for (const char* expected : {R"("PublisherUrl": "https://example.com")", R"("ReleaseNotesUrl": "https://example.com/notes/1.2.0")",
                                 R"("Tags": ["notes", "markdown"])"}) {
        EXPECT_NE(extra_verdicts[2].second.find(expected), std::string::npos) << expected << "\n" << extra_verdicts[2].second;
    }
    // A package without document types lists no extensions.
    AppManifest plain = app();
    plain.documents.clear();
    auto plain_files = winget_manifests(plain, kHash, kRequest);
    ASSERT_TRUE(plain_files.ok());
    EXPECT_EQ((*plain_files)[1].text.find("FileExtensions"), std::string::npos);
    EXPECT_EQ(judge(*plain_files)[1].first, "valid");
}

TEST(WingetManifests, RefuseWhatTheSchemasWouldRefuseNamingEachProblem) {
    auto with = [](auto change) {
        AppManifest m = app();
        WingetRequest r = kRequest;
        change(m, r);
        return std::pair{m, r};
    };
    const std::vector<std::tuple<const char*, std::pair<AppManifest, WingetRequest>, const char*>> table = {
        {"one part", with([](AppManifest&, WingetRequest& r) { r.package_id = "Notes"; }), "--package-id Notes: winget takes 2 to 8 parts"},
        {"a space", with([](AppManifest&, WingetRequest& r) { r.package_id = "Ex ample.Notes"; }), "--package-id Ex ample.Notes:"},
        {"an empty part", with([](AppManifest&, WingetRequest& r) { r.package_id = "Example..Notes"; }), "--package-id Example..Notes:"},
        {"a part of 33", with([](AppManifest&, WingetRequest& r) { r.package_id = "E." + std::string(33, 'n'); }), "--package-id E.nnn"},
        {"ftp", with([](AppManifest&, WingetRequest& r) { r.url = "ftp://example.com/S.exe"; }), "--url ftp://example.com/S.exe: winget takes an https://"},
        {"no host", with([](AppManifest&, WingetRequest& r) { r.url = "https://"; }), "--url https://:"},
        {"licence of 2", with([](AppManifest&, WingetRequest& r) { r.license = "PD"; }), "--license is 2 characters long; winget takes 3 to 512."},
        {"no version", with([](AppManifest& m, WingetRequest&) { m.version.clear(); }), "The installer's \"version\" \"\" can't be winget's PackageVersion"},
        {"version with a colon", with([](AppManifest& m, WingetRequest&) { m.version = "1:2"; }), "The installer's \"version\" \"1:2\""},
        {"publisher of 1", with([](AppManifest& m, WingetRequest&) { m.publisher = "\u00c4"; }), "The installer's \"publisher\" is 1 character long; winget takes 2 to 256."},
        {"publisher URL not a web address", with([](AppManifest&, WingetRequest& r) { r.publisher_url = "example.com"; }), "--publisher-url example.com: winget takes an https://"},
        {"release notes over ftp", with([](AppManifest&, WingetRequest& r) { r.release_notes_url = "ftp://x/y"; }), "--release-notes-url ftp://x/y:"},
        {"a tag of 41", with([](AppManifest&, WingetRequest& r) { r.tags = {std::string(41, 't')}; }), "--tag \"ttt"},
        {"an empty tag", with([](AppManifest&, WingetRequest& r) { r.tags = {"a", ""}; }), "--tag \"\" is 0 characters long"},
        {"a tag twice", with([](AppManifest&, WingetRequest& r) { r.tags = {"a", "a"}; }), "--tag \"a\" is given twice"},
        {"17 tags", with([](AppManifest&, WingetRequest& r) { for (int i = 0; i < 17; ++i) r.tags.push_back("t" + std::to_string(i)); }), "winget takes at most 16 tags; 17 were given."},
        {"extension of 65", with([](AppManifest& m, WingetRequest&) { m.documents[0].extensions = {std::string(65, 'x')}; }), "The extension \"xxx"},
    };
    for (const auto& [what, inputs, says] : table) {
        auto files = winget_manifests(inputs.first, kHash, inputs.second);
        ASSERT_FALSE(files.ok()) << what;
        ASSERT_EQ(files.error().size(), 1u) << what << ": " << files.error().front();
        EXPECT_EQ(files.error().front().rfind(says, 0), 0u) << what << ": " << files.error().front();
    }
    // Every problem at once.
    AppManifest m = app();
    m.version.clear();
    WingetRequest r = kRequest;
    r.url = "example.com";
    r.short_description = "";
    EXPECT_EQ(winget_manifests(m, kHash, r).error().size(), 3u);
}

}  // namespace
}  // namespace plinth::pack
