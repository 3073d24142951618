#include "pack_manifest.h"

#include <gtest/gtest.h>

#include "package/manifest.h"

namespace plinth::pack {
namespace {

std::string manifest_with(const std::string& id, const std::string& exe) {
    return R"({"name": "Notes", "id": ")" + id + R"(", "exe": ")" + exe + R"("})";
}

TEST(PackManifest, AManifestOverTheSizeLimitIsRefusedWithItsSizeAndAtTheLimitPacks) {
    const std::string json = manifest_with("org.notes", "Notes.exe");
    const auto at_limit = check_manifest_for_packing(json + std::string(kMaxManifestSize - json.size(), '\n'));
    EXPECT_TRUE(at_limit.ok());

    // Many tiny values: parsed, they would take a hundred times their size.
    std::string over = "[";
    while (over.size() < kMaxManifestSize) over += "0,";
    over += "0]";
    const ManifestReview review = review_manifest(over);
    ASSERT_EQ(review.problems.size(), 1u);
    EXPECT_EQ(review.problems[0].severity, Severity::error);
    EXPECT_FALSE(review.problems[0].at.has_value());
    EXPECT_EQ(review.problems[0].text, "The manifest is " + std::to_string(over.size()) +
                                           " bytes; it may be at most 1048576 bytes (1 MiB).");
    const auto refused = check_manifest_for_packing(json + std::string(kMaxManifestSize + 1 - json.size(), '\n'));
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error(), "The manifest is 1048577 bytes; it may be at most 1048576 bytes (1 MiB).");
}

TEST(PackManifest, RefusesExeValuesThatCannotBeAFileName) {
    const std::pair<std::string, std::string> refused[] = {
        {"bin/Notes.exe", "path separator"},
        {"bin\\\\Notes.exe", "path separator"},
        {"C:Notes.exe", "character :"},
        {"Notes?.exe", "character ?"},
        {"No*tes.exe", "character *"},
        {"Notes\\\".exe", "character \""},
        {"<Notes>.exe", "character <"},
        {"Notes|.exe", "character |"},
        {"Notes\\t.exe", "control character U+0009"},
        {"Notes\\u001f.exe", "control character U+001F"},
        {"..", "must name a file"},
        {".", "must name a file"},
        {"CON", "reserves for a device"},
        {"nul.exe", "reserves for a device"},
        {"Com1 .txt.exe", "reserves for a device"},
        {"CONOUT$.exe", "reserves for a device"},
        {"CONIN$", "reserves for a device"},
        {"COM0.exe", "reserves for a device"},
        {"lpt0 .exe", "reserves for a device"},
        {"COM\u00b3.exe", "reserves for a device"},
        {"lpt\u00b2.log.exe", "reserves for a device"},
        {"Com\u00b9.exe", "reserves for a device"},
        {"", "empty"},
        {"Uninstall.exe", "uninstall.exe"},
        {"UNINSTALL.EXE", "uninstall.exe"},
        {"Notes.exe.OLD", ".old"},
        {"Notes.1.old", ".old"},
        {"uninstall.exe. .", "uninstall.exe"},
        {"Notes.old. ", ".old"},
    };
    for (const auto& [exe, reason] : refused) {
        const std::string json = manifest_with("com.example.notes", exe);
        // The runtime refuses the same package when it loads.
        ASSERT_FALSE(parse_app_manifest(json).ok()) << exe;
        auto checked = check_manifest_for_packing(json);
        ASSERT_FALSE(checked.ok()) << exe;
        EXPECT_NE(checked.error().find("\"exe\""), std::string::npos) << checked.error();
        EXPECT_NE(checked.error().find(reason), std::string::npos) << exe << ": " << checked.error();
    }
}

TEST(PackManifest, AcceptsOrdinaryNamesNearTheRefusedOnes) {
    for (const std::string exe : {"Notes.exe", "console.exe", "COM10.exe", "LPT.exe", "COM\u2074.exe", "LPT\u00b9\u00b9.exe", "COM\u00b9a.exe", "My App 2.0.exe",
                                  "caf\u00e9.exe", "..Notes.exe", "Notes.exe.",
                                  "uninstall.exe.exe", "Notes.older.exe", "Notes.old.exe"}) {
        auto checked = check_manifest_for_packing(manifest_with("com.example.notes", exe));
        EXPECT_TRUE(checked.ok()) << exe << ": " << (checked.ok() ? "" : checked.error());
    }
}

TEST(PackManifest, IdOfOnlyWhiteSpaceIsRefused) {
    for (const std::string id : {" ", "\\t\\n ", "\u00a0", "\u3000 "}) {
        auto checked = check_manifest_for_packing(manifest_with(id, "Notes.exe"));
        ASSERT_FALSE(checked.ok()) << id;
        EXPECT_NE(checked.error().find("\"id\""), std::string::npos);
    }
    EXPECT_TRUE(check_manifest_for_packing(manifest_with(" x ", "Notes.exe")).ok());
}

// The id and the extensions name registry keys: a backslash would nest them, a NUL cut them.
TEST(PackManifest, IdsAndExtensionsThatCannotBeOneRegistryKeyAreRefused) {
    struct Case {
        std::string members;  // after "name" and "exe"
        const char* reason;   // empty: accepted
    };
    const Case cases[] = {
        {R"("id": "com\\example")", "\"id\" has a backslash"},
        {R"("id": "com\u0000example")", "\"id\" has the character U+0000"},
        {R"("id": "com/example:notes")", ""},
        {R"("id": "x", "documents": [{"extensions": ["note"]}, {"extensions": ["txt", "a\\b"]}])",
         "\"documents[1]\" has an extension that has a backslash"},
        {R"("id": "x", "documents": [{"extensions": ["n\u0000"]}])",
         "\"documents[0]\" has an extension that has the character U+0000"},
        // The runtime takes these as they are; the packer refuses each (and accepts "tar.gz").
        {R"("id": "x", "documents": [{"name": "A", "extensions": ["tar.gz"]}])", ""},
        {R"("id": "x", "documents": [{"extensions": [""]}])", "\"documents[0]\" has an extension that is empty"},
        {R"("id": "x", "documents": [{"extensions": ["a/b"]}])", "has the character /"},
        {R"("id": "x", "documents": [5])", "each document type must be an object"},
        {R"("id": "x", "documents": [{"extensions": [1]}])", "each extension must be a string"},
    };
    for (const auto& c : cases) {
        const std::string json = R"({"name": "Notes", "exe": "Notes.exe", )" + c.members + "}";
        ASSERT_TRUE(parse_app_manifest(json).ok()) << json;
        auto checked = check_manifest_for_packing(json);
        if (std::string(c.reason).empty()) {
            EXPECT_TRUE(checked.ok()) << json << ": " << (checked.ok() ? "" : checked.error());
        } else {
            ASSERT_FALSE(checked.ok()) << json;
            EXPECT_NE(checked.error().find(c.reason), std::string::npos) << checked.error();
        }
    }
}

TEST(PackManifest, TheRuntimesReasonsComeThroughUnchanged) {
    const std::string bad_json = "{\n  \"name\": \"Notes\",\n}";
    auto checked = check_manifest_for_packing(bad_json);
    ASSERT_FALSE(checked.ok());
    // The runtime's sentence, then the packer's word on the usual cause.
    const std::string runtime = check_app_manifest(bad_json).error();
    EXPECT_EQ(checked.error().substr(0, runtime.size() - 1), runtime.substr(0, runtime.size() - 1));
    EXPECT_NE(checked.error().find("line 3"), std::string::npos) << checked.error();

    auto missing = check_manifest_for_packing(R"({"name": "Notes", "id": "x"})");
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().find("\"exe\""), std::string::npos) << missing.error();
}

}  // namespace
}  // namespace plinth::pack
