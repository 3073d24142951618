// The JSON Schema in docs/ and the packer's review must agree on every manifest of this table,
// so that an editor's squiggles and the packer's refusals can't drift apart. The schema is judged
// by python3-jsonschema (tests/unit/pack/schema_verdicts.py).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "pack_manifest.h"

namespace plinth::pack {
namespace {

// The rules a schema can't state, each with a manifest that only the packer refuses.
constexpr const char* kDeviceNames = "device names in \"exe\" (CON, nul.exe, \"COM1 .exe\")";
constexpr const char* kCaseAndAcross = "an extension repeated in another case or in another document type";
constexpr const char* kRepeatedKey = "a key given twice (a JSON reader keeps the last one)";
constexpr const char* kWholeFraction = "an icon written 2.0 or 2e0 (a schema's integer includes them)";
constexpr const char* kSchemeCase = "a URL scheme repeated in another case";
constexpr const char* kUtf16Length = "an AppUserModelID's length in UTF-16 units (a schema counts characters)";

struct Case {
    std::string what;
    std::string json;
    bool refused;                      // by the packer
    const char* schema_can_t = nullptr;  // set: the schema accepts what the packer refuses, for this reason
};

std::string manifest(const std::string& members) {
    return R"({"name": "Notes", "id": "com.example.notes", "exe": "Notes.exe")" +
           (members.empty() ? std::string() : ", " + members) + "}";
}

// `exe` as written in JSON, escapes included.
std::string with_exe(const std::string& exe) { return R"({"name": "Notes", "id": "com.example.notes", "exe": ")" + exe + "\"}"; }

std::string document(const std::string& members) { return manifest(R"("documents": [{"name": "D", )" + members + "}]"); }

std::vector<Case> table() {
    std::vector<Case> cases = {
        {"the docs' example",
         R"({"$schema": "app-manifest.schema.json", "name": "Notes", "id": "com.example.notes", "version": "1.4.2",
             "publisher": "Example Ltd", "exe": "Notes.exe",
             "documents": [{"name": "Notes document", "extensions": ["note", "notes"], "owned": true, "icon": 2},
                           {"name": "Plain text", "extensions": ["txt"]}]})",
         false},
        {"the least", manifest(""), false},
        {"texts beyond ASCII", R"({"name": "N\u00f6tes \ud83d\ude00", "id": "\u00e9", "exe": "N\u00f6tes.EXE"})", false},
        {"an exe ending in a dot", with_exe("Notes.exe."), false},
        {"warnings only", manifest(R"("documents": [{"extensions": ["note"], "icon": 0}])"), false},
        {"a version without numbers is a warning", manifest(R"("version": "beta")"), false},
        {"the largest icon", document(R"("icon": 65535)"), false},
        {"a program's extension, not owned", document(R"("extensions": ["exe", "bat"], "owned": false)"), false},
        {"extensions with inner dots and spaces", document(R"("extensions": ["tar.gz", "my ext", "\u00a0x"])"), false},
        {"empty lists", manifest(R"("documents": [])"), false},
        {"all languages", manifest(R"("languages": "all")"), false},
        {"some languages", manifest(R"("languages": ["de", "pt-BR", "zh-Hant-TW", "en"])"), false},
        {"no languages", manifest(R"("languages": [])"), false},
        {"languages as one text", manifest(R"("languages": "de")"), true},
        {"a language that isn't a tag", manifest(R"("languages": ["de DE"])"), true},
        {"a language tag as a number", manifest(R"("languages": [7])"), true},
        {"an empty document type list entry", manifest(R"("documents": [{}])"), false},

        {"typo verison", manifest(R"("verison": "1.0")"), true},
        {"typo publsher", manifest(R"("publsher": "Me")"), true},
        {"typo documnets", manifest(R"("documnets": [])"), true},
        {"extension in a document", document(R"("extension": ["note"])"), true},
        {"own in a document", document(R"("own": true)"), true},
        {"$schema in a document", document(R"("$schema": "x")"), true},
        {"$schema not a text", manifest(R"("$schema": 1)"), true},
        {"version 8.0", manifest(R"("version": 8.0)"), true},
        {"publisher null", manifest(R"("publisher": null)"), true},
        {"owned as a text", document(R"("owned": "true")"), true},
        {"icon as a text", document(R"("icon": "768")"), true},
        {"icon 70000", document(R"("icon": 70000)"), true},
        {"icon 65536", document(R"("icon": 65536)"), true},
        {"icon -1", document(R"("icon": -1)"), true},
        {"icon 2.5", document(R"("icon": 2.5)"), true},
        {"icon 2.0", document(R"("icon": 2.0)"), true, kWholeFraction},
        {"icon 2e0", document(R"("icon": 2e0)"), true, kWholeFraction},
        {"extensions as a text", document(R"("extensions": "wnote")"), true},
        {"an extension not a text", document(R"("extensions": [1])"), true},
        {"documents as an object", manifest(R"("documents": {"name": "D"})"), true},
        {"a document not an object", manifest(R"("documents": [5])"), true},
        {"a leading dot", document(R"("extensions": [".wnote"])"), true},
        {"an empty extension", document(R"("extensions": ["wnote", ""])"), true},
        {"an extension ending in a dot", document(R"("extensions": ["note."])"), true},
        {"an extension ending in a space", document(R"("extensions": ["note "])"), true},
        {"a NUL in an extension", document(R"("extensions": ["a\u0000"])"), true},
        {"a C1 control in an extension", document(R"("extensions": ["a\u0085"])"), true},
        {"DEL in an extension", document(R"("extensions": ["a\u007f"])"), true},
        {"an extension twice", document(R"("extensions": ["note", "note"])"), true},
        {"an extension twice in another case", document(R"("extensions": ["note", "Note"])"), true, kCaseAndAcross},
        {"an extension in two types",
         manifest(R"("documents": [{"name": "D", "extensions": ["note"]}, {"name": "E", "extensions": ["note"]}])"), true,
         kCaseAndAcross},
        {"an owned program extension in another case", document(R"("extensions": ["note", "Ps1"], "owned": true)"), true},
        {"exe without .exe", with_exe("notepad"), true},
        {"exe .exe.old", with_exe("Notes.exe.old"), true},
        {"exe with a path", with_exe("bin/Notes.exe"), true},
        {"exe uninstall.exe", with_exe("Uninstall.EXE"), true},
        {"exe with a tab", with_exe("No\\ttes.exe"), true},
        {"exe with DEL", with_exe("No\\u007ftes.exe"), true},
        {"exe CON.exe", with_exe("CON.exe"), true, kDeviceNames},
        {"exe nul.exe", with_exe("nul.exe"), true, kDeviceNames},
        {"exe COM1 .exe", with_exe("COM1 .exe"), true, kDeviceNames},
        {"exe missing", R"({"name": "Notes", "id": "x"})", true},
        {"name empty", R"({"name": "", "id": "x", "exe": "N.exe"})", true},
        {"name a number", R"({"name": 5, "id": "x", "exe": "N.exe"})", true},
        {"id of white space", R"({"name": "N", "id": " \t\u3000\u00a0\u2028", "exe": "N.exe"})", true},
        {"id with a backslash", R"({"name": "N", "id": "a\\b", "exe": "N.exe"})", true},
        {"id with a NUL", R"({"name": "N", "id": "a\u0000", "exe": "N.exe"})", true},
        {"a key twice", R"({"name": "N", "id": "x", "exe": "N.exe", "id": "y"})", true, kRepeatedKey},
        {"updates from https", manifest(R"("version": "1.4.2", "updates": {"feed": "https://example.com:8443/notes/feed.json?c=1"})"), false},
        {"updates from loopback http", manifest(R"("version": "2", "updates": {"feed": "http://127.0.0.1:8000/feed.json"})"), false},
        {"updates over http", manifest(R"("version": "2", "updates": {"feed": "http://example.com/feed.json"})"), true},
        {"updates with a password", manifest(R"("version": "2", "updates": {"feed": "https://me:pw@example.com/f"})"), true},
        {"updates with a fragment", manifest(R"("version": "2", "updates": {"feed": "https://example.com/f#x"})"), true},
        {"updates on port 65536", manifest(R"("version": "2", "updates": {"feed": "https://example.com:65536/f"})"), true},
        {"updates as a text", manifest(R"("version": "2", "updates": "https://example.com/f")"), true},
        {"updates without a feed", manifest(R"("version": "2", "updates": {})"), true},
        {"updates with a typo", manifest(R"("version": "2", "updates": {"feed": "https://e.com/f", "fed": 1})"), true},
        {"updates without a version", manifest(R"("updates": {"feed": "https://example.com/f"})"), true},
        {"updates with publishers",
         manifest(R"("version": "2", "updates": {"feed": "https://e.com/f", "publishers": ["CN=Example Ltd, O=Example Ltd"]})"), false},
        {"publishers as a text", manifest(R"("version": "2", "updates": {"feed": "https://e.com/f", "publishers": "CN=A"})"), true},
        {"a publisher that is no name",
         manifest(R"("version": "2", "updates": {"feed": "https://e.com/f", "publishers": ["Example Ltd"]})"), true},
        {"a publisher as a number", manifest(R"("version": "2", "updates": {"feed": "https://e.com/f", "publishers": [1]})"), true},
        {"updates with a version of letters", manifest(R"("version": "1.0-beta", "updates": {"feed": "https://e.com/f"})"), true},
        {"links", manifest(R"("appUserModelId": "ExampleLtd.Notes.Viewer.2", "protocols": ["examplenotes", "web+notes", "x-1.a"])"), false},
        {"an AppUserModelID of one section is a warning", manifest(R"("appUserModelId": "Notes")"), false},
        {"the longest AppUserModelID", manifest(R"("appUserModelId": ")" + std::string(128, 'a') + "\""), false},
        {"an AppUserModelID too long", manifest(R"("appUserModelId": ")" + std::string(129, 'a') + "\""), true},
        {"an AppUserModelID too long in UTF-16",
         manifest(R"("appUserModelId": ")" + std::string(127, 'a') + R"(\ud83d\ude00")"), true, kUtf16Length},
        {"an AppUserModelID with a space", manifest(R"("appUserModelId": "Example Notes")"), true},
        {"an empty AppUserModelID", manifest(R"("appUserModelId": "")"), true},
        {"protocols as a text", manifest(R"("protocols": "notes")"), true},
        {"a scheme with its colon", manifest(R"("protocols": ["notes:"])"), true},
        {"a scheme starting with a digit", manifest(R"("protocols": ["1notes"])"), true},
        {"the longest scheme", manifest(R"("protocols": [")" + std::string(255, 'x') + "\"]"), false},
        {"a scheme too long", manifest(R"("protocols": [")" + std::string(256, 'x') + "\"]"), true},
        {"a scheme twice", manifest(R"("protocols": ["notes", "notes"])"), true},
        {"a scheme twice in another case", manifest(R"("protocols": ["notes", "Notes"])"), true, kSchemeCase},
        {"16 schemes", manifest(R"("protocols": ["a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o", "p"])"), false},
        {"17 schemes", manifest(R"("protocols": ["a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o", "p", "q"])"), true},
        {"a scheme like a reserved one", manifest(R"("protocols": ["https2", "mailtox", "msx", "microsoft"])"), false},
        {"a scheme like a class key", manifest(R"("protocols": ["clsids", "xdrive", "files", "file2", "myappx"])"), false},
        {"a scheme of a <type>file class", manifest(R"("protocols": ["notes", "LnkFile"])"), true},
        {"a scheme of a packaged app's class", manifest(R"("protocols": ["AppXnotes"])"), true},
        {"hooks", manifest(R"("hooks": {"installed": ["--register", "C:\\a b"], "updated": [], "removing": ["/x"]}, "removingMayRefuse": true)"), false},
        {"16 hook arguments", manifest(R"("hooks": {"installed": ["a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o", "p"]})"), false},
        {"17 hook arguments", manifest(R"("hooks": {"installed": ["a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o", "p", "q"]})"), true},
        {"a hook as one text", manifest(R"("hooks": {"removing": "--unregister"})"), true},
        {"a hook argument not a text", manifest(R"("hooks": {"updated": [1]})"), true},
        {"a hook argument with a NUL", manifest(R"("hooks": {"updated": ["a\u0000b"]})"), true},
        {"a hook of another name", manifest(R"("hooks": {"uninstalled": []})"), true},
        {"removingMayRefuse as a text", manifest(R"("removingMayRefuse": "true")"), true},
        {"a licence and the folder choice", manifest(R"("license": "LICENSE.txt", "allowFolderChoice": true)"), false},
        {"an empty licence name", manifest(R"("license": "")"), true},
        {"allowFolderChoice as a text", manifest(R"("allowFolderChoice": "true")"), true},
        {"an array", "[]", true},
        {"a text", "\"Notes\"", true},
    };
    for (char c : std::string_view("\\/:*?\"<>|")) {
        const std::string escaped = c == '\\' || c == '"' ? std::string("\\") + c : std::string(1, c);
        cases.push_back({std::string("the character ") + c + " in an extension",
                         document(R"("extensions": ["a)" + escaped + "b\"]"), true});
        cases.push_back({std::string("the character ") + c + " in the exe",
                         with_exe("N" + escaped + "otes.exe"), true});
    }
    for (std::string_view scheme : reserved_url_schemes()) {
        std::string name(scheme);
        if (name.back() == '*') name.back() = 'x';
        name[0] = static_cast<char>(name[0] - 'a' + 'A');
        cases.push_back({"the reserved scheme " + name, manifest(R"("protocols": [")" + name + "\"]"), true});
    }
    for (std::string_view key : class_key_names()) {
        std::string name(key);
        name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        cases.push_back({"the class key " + name, manifest(R"("protocols": [")" + name + "\"]"), true});
    }
    for (std::string_view extension : program_extensions()) {
        cases.push_back({"owned " + std::string(extension),
                         document(R"("owned": true, "extensions": [")" + std::string(extension) + "\"]"), true});
    }
    return cases;
}

// The interpreter with python3-jsonschema: Debian's, which the package installs for.
std::string python() {
    for (const char* candidate : {"/usr/bin/python3", "python3"}) {
        const std::string probe = std::string(candidate) + " -c 'import jsonschema' >/dev/null 2>&1";
        if (std::system(probe.c_str()) == 0) return candidate;
    }
    return {};
}

TEST(ManifestSchema, ThePackerAndTheSchemaAgree) {
    const std::filesystem::path source = PLINTH_SOURCE_DIR;
    const std::string interpreter = python();
    ASSERT_FALSE(interpreter.empty()) << "python3 with jsonschema is missing: install python3-jsonschema "
                                         "(scripts/debian-packages)";
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("plinth-schema-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                                  "-" + std::to_string(std::rand()));
    std::filesystem::create_directories(folder);
    const std::vector<Case> cases = table();
    std::string command = interpreter + " '" + (source / "tests/unit/pack/schema_verdicts.py").string() + "' '" +
                          (source / "docs/app-manifest.schema.json").string() + "'";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::filesystem::path file = folder / (std::to_string(i) + ".json");
        std::ofstream(file, std::ios::binary) << cases[i].json;
        command += " '" + file.string() + "'";
    }
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
        EXPECT_EQ(pclose(pipe), 0) << "the schema can't be used";
    }
    std::filesystem::remove_all(folder);

    std::istringstream lines(output);
    std::set<std::string> differences_seen;
    for (const Case& c : cases) {
        std::string verdict;
        ASSERT_TRUE(std::getline(lines, verdict)) << "no verdict for " << c.what << "; output:\n" << output;
        const ManifestReview review = review_manifest(c.json);
        std::string reasons;
        for (const auto& p : review.problems) reasons += "\n  " + p.text;
        EXPECT_EQ(review.refused(), c.refused) << c.what << reasons;
        const bool schema_refuses = verdict != "valid";
        if (c.schema_can_t != nullptr) {
            differences_seen.insert(c.schema_can_t);
            EXPECT_FALSE(schema_refuses) << c.what << ": the schema now states \"" << c.schema_can_t
                                         << "\"; take it off the list of differences";
        } else {
            EXPECT_EQ(schema_refuses, review.refused()) << c.what << "\n  schema: " << verdict << "\n  packer:" << reasons;
        }
    }
    // Every listed difference is shown by a case.
    EXPECT_EQ(differences_seen, (std::set<std::string>{kDeviceNames, kCaseAndAcross, kRepeatedKey, kWholeFraction, kSchemeCase, kUtf16Length}));
}

}  // namespace
}  // namespace plinth::pack
