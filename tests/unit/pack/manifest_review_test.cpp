#include <gtest/gtest.h>

#include "pack_manifest.h"
#include "package/manifest.h"

namespace plinth::pack {
namespace {

// A finding the review must make: where (the first occurrence of `at` in the text, or no place
// when `at` is empty) and a part of its sentence.
struct Finding {
    Severity severity;
    std::string at;
    std::string says;
};

Finding error(std::string at, std::string says) { return {Severity::error, std::move(at), std::move(says)}; }
Finding warning(std::string at, std::string says) { return {Severity::warning, std::move(at), std::move(says)}; }

struct Case {
    const char* what;
    std::string json;
    std::vector<Finding> findings;  // all of them, in order
};

// The line and column of the first occurrence of `marker`, columns counted in characters.
std::optional<TextPosition> position_of(const std::string& text, const std::string& marker) {
    if (marker.empty()) return std::nullopt;
    const std::size_t offset = text.find(marker);
    EXPECT_NE(offset, std::string::npos) << marker;
    TextPosition at;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++at.line;
            at.column = 1;
        } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            ++at.column;
        }
    }
    return at;
}

std::string show(const ManifestReview& review) {
    std::string text;
    for (const auto& p : review.problems) {
        text += p.severity == Severity::error ? "  error " : "  warning ";
        if (p.at) text += std::to_string(p.at->line) + ":" + std::to_string(p.at->column) + " ";
        text += p.text + "\n";
    }
    return text;
}

void expect_findings(const Case& c, const AppFacts& app = {}) {
    const ManifestReview review = review_manifest(c.json, app);
    ASSERT_EQ(review.problems.size(), c.findings.size()) << c.what << "\n" << show(review);
    for (std::size_t i = 0; i < c.findings.size(); ++i) {
        const Finding& want = c.findings[i];
        const ManifestProblem& got = review.problems[i];
        EXPECT_EQ(got.severity, want.severity) << c.what << ": " << got.text;
        EXPECT_EQ(got.at, position_of(c.json, want.at)) << c.what << ": " << got.text;
        EXPECT_NE(got.text.find(want.says), std::string::npos) << c.what << ": " << got.text;
    }
    const bool errors = std::any_of(c.findings.begin(), c.findings.end(),
                                    [](const Finding& f) { return f.severity == Severity::error; });
    EXPECT_EQ(review.refused(), errors) << c.what;
    EXPECT_EQ(review.manifest.has_value(), !errors) << c.what;
}

// The head every case shares, so that each shows only what it is about.
std::string with(const std::string& members) {
    return "{\n  \"name\": \"Notes\", \"id\": \"com.example.notes\", \"exe\": \"Notes.exe\"" +
           (members.empty() ? std::string() : ",\n" + members) + "\n}";
}

TEST(ManifestReview, TheMistakesPeopleMakeAreRefusedWithTheirFix) {
    const Case cases[] = {
        {"typos of top-level keys",
         with(R"(  "verison": "1.0",
  "publsher": "Me",
  "documnets": [])"),
         {error("\"verison\"", "The manifest's \"verison\" isn't a key plinth knows (did you mean \"version\"?)."),
          error("\"publsher\"", "(did you mean \"publisher\"?)"),
          error("\"documnets\"", "(did you mean \"documents\"?)")}},
        {"typos inside a document type",
         with(R"(  "documents": [{"name": "Note", "extension": ["note"], "own": true, "Icon": 1}])"),
         {error("\"extension\"", "\"documents[0].extension\" isn't a key plinth knows (did you mean \"extensions\"?)"),
          error("\"own\"", "(did you mean \"owned\"?)"),
          error("\"Icon\"", "(did you mean \"icon\"?)")}},
        {"keys at the wrong level, and one that resembles nothing",
         with(R"(  "extensions": ["note"], "zz": 1,
  "documents": [{"name": "Note", "publisher": "Me"}])"),
         {error("\"extensions\"", "belongs in a document type"),
          error("\"zz\"", "the keys here are \"$schema\", \"name\", \"id\", \"version\", \"publisher\", \"exe\", \"documents\", \"languages\", \"updates\", \"appUserModelId\", \"protocols\", \"hooks\", \"removingMayRefuse\", \"license\" and \"allowFolderChoice\""),
          error("\"publisher\"", "belongs at the top level")}},
        {"wrong types say what to write",
         with(R"(  "version": 8.0,
  "publisher": ["Me"],
  "documents": [{"name": "Note", "owned": "true", "icon": "768", "extensions": "wnote"}])"),
         {error("8.0", "\"version\" is the number 8.0; it must be a string: write \"8.0\"."),
          error("[\"Me\"]", "\"publisher\" is an array; it must be a string"),
          error("\"true\"", "\"documents[0].owned\" is the text \"true\"; it must be true or false: write true, without quotes."),
          error("\"768\"", "it must be an integer from 0 to 65535, the id of an icon group in the app's exe: write 768, without quotes."),
          error("\"wnote\"", "\"documents[0].extensions\" is the text \"wnote\"; it must be an array of strings: write [\"wnote\"].")}},
        {"documents as one object",
         with(R"(  "documents": {"name": "Note", "extensions": ["note"]})"),
         {error("{\"name\": \"Note\"", "\"documents\" is an object; it must be an array of document types (objects): put brackets around it")}},
        {"documents that aren't objects, extensions that aren't strings",
         with(R"(  "documents": [5, {"name": "Note", "extensions": [7, true, null]}, null])"),
         {error("5,", "\"documents[0]\" is the number 5; each document type must be an object"),
          error("7,", "\"documents[1].extensions[0]\" is the number 7; each extension must be a string: write \"7\"."),
          error("true", "\"documents[1].extensions[1]\" is true; each extension must be a string: write \"true\"."),
          error("null]}", "\"documents[1].extensions[2]\" is null; each extension must be a string."),
          error("null]\n", "\"documents[2]\" is null; each document type must be an object")}},
        {"required texts of another type, empty, or missing",
         "{\"name\": 5, \"id\": \"\"}",
         {error("", "The manifest's \"exe\" is missing; it must be a non-empty string, such as \"exe\": \"Notes.exe\"."),
          error("5", "\"name\" is the number 5; it must be a string: write \"5\"."),
          error("\"\"", "\"id\" is empty; it must be a non-empty string")}},
        {"the exe must end in .exe",
         R"({"name": "Notes", "id": "n", "exe": "notepad"})",
         {error("\"notepad\"", "\"exe\" \"notepad\" must end in \".exe\"")}},
        {"the shared exe rule comes first",
         R"({"name": "Notes", "id": "n", "exe": "bin/notepad"})",
         {error("\"bin/notepad\"", "must be a file name, not a path")}},
        {"\"$schema\" is a text at the top level only",
         R"({"$schema": 5, "name": "Notes", "id": "n", "exe": "N.exe", "documents": [{"name": "D", "$schema": "x"}]})",
         {error("5,", "\"$schema\" is the number 5; it must be a string"),
          error("\"$schema\": \"x\"", "\"documents[0].$schema\" isn't a key plinth knows")}},
        {"a key given twice",
         with(R"(  "version": "1.0",
  "version": "2.0")"),
         {error("\"version\": \"2.0\"", "\"version\" is given twice (first at line 3, column 3)")}},
        {"an AppUserModelID with a space",
         "{\"name\": \"N\", \"id\": \"n\", \"exe\": \"N.exe\", \"appUserModelId\": \"Example Notes\"}",
         {error("\"Example Notes\"", "\"appUserModelId\" \"Example Notes\" has a space, which Windows refuses in an AppUserModelID")}},
        {"an AppUserModelID too long",
         with("  \"appUserModelId\": \"" + std::string(129, 'a') + "\""),
         {error("\"aaa", "is too long: Windows takes at most 128 characters.")}},
        {"an AppUserModelID of one section is a warning", with(R"(  "appUserModelId": "NotesApp")"),
         {warning("\"NotesApp\"", "isn't of the form Windows recommends, Company.Product[.SubProduct[.Version]]")}},
        {"URL schemes that can't be, or are taken",
         with(R"(  "protocols": ["notes://", "HTTPS", "ms-settings", "Notes", "my app", 7, "notes"])"),
         {error("\"notes://\"", "\"protocols[0]\" \"notes://\" isn't a URL scheme: a letter, then letters, digits, \"+\", \"-\" or \".\": write \"notes\", without the colon."),
          error("\"HTTPS\"", "\"protocols[1]\" \"HTTPS\" is a scheme that Windows or the browsers handle themselves"),
          error("\"ms-settings\"", "handle themselves"),
          error("\"my app\"", "isn't a URL scheme"),
          error("7", "\"protocols[5]\" is the number 7; each URL scheme must be a string"),
          error("\"notes\"]", "\"protocols[6]\" \"notes\" is given twice; URL schemes are compared without case.")}},
        {"URL schemes named like another program's class key",
         with(R"(  "protocols": ["CLSID", "Directory", "lnkFILE", "AppX1abc", "notes"])"),
         {error("\"CLSID\"", "\"protocols[0]\" \"CLSID\" is the name of a class key that Windows or other programs keep"),
          error("\"Directory\"", "removing it could delete another program's settings."),
          error("\"lnkFILE\"", "is the name of a class key"),
          error("\"AppX1abc\"", "is the name of a class key")}},
        {"protocols as one text", with(R"(  "protocols": "notes")"),
         {error("\"notes\"", "\"protocols\" is the text \"notes\"; it must be an array of URL schemes: write [\"notes\"].")}},
        {"a 17th URL scheme",
         with(R"(  "protocols": ["a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o", "p", "q"])"),
         {error("\"q\"", "\"protocols\" has more than 16 URL schemes")}},
        {"publishers that the installed app couldn't read",
         with(R"(  "version": "1.0", "updates": {"feed": "https://e.com/f", "publishers": ["CN=Example Ltd, O=Example Ltd", "Example Ltd", 7]})"),
         {error("\"Example Ltd\", 7", "\"updates.publishers[1]\" \"Example Ltd\" isn't a certificate subject: write its attributes as TYPE=value"),
          error("7]", "\"updates.publishers[2]\" is the number 7; each publisher must be a certificate subject as a string")}},
        {"publishers as one text", with(R"(  "version": "1.0", "updates": {"feed": "https://e.com/f", "publishers": "CN=A"})"),
         {error("\"CN=A\"", "\"updates.publishers\" is the text \"CN=A\"; it must be an array of certificate subjects: write [\"CN=A\"].")}},
        {"hooks the runtime couldn't take as written",
         with(R"(  "hooks": {"installed": "--register", "updated": [2, "a\u0000b"], "removng": []},
  "removingMayRefuse": "yes")"),
         {error("\"--register\"", "\"hooks.installed\" is the text \"--register\"; it must be an array of the arguments the app's exe is started with: write [\"--register\"]."),
          error("2", "\"hooks.updated[0]\" is the number 2; each argument must be a string: write \"2\"."),
          error("\"a\\u0000b\"", "\"hooks.updated[1]\" has the character U+0000"),
          error("\"removng\"", "\"hooks.removng\" isn't a key plinth knows (did you mean \"removing\"?)"),
          error("\"yes\"", "\"removingMayRefuse\" is the text \"yes\"; it must be true or false.")}},
        {"a 17th hook argument, and a refusal without a removing hook",
         with(R"(  "hooks": {"installed": ["1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15", "16", "17"]},
  "removingMayRefuse": true)"),
         {error("[\"1\"", "\"hooks.installed\" has 17 arguments; a hook may have at most 16."),
          warning("true", "\"removingMayRefuse\" is true, but there is no \"hooks\".\"removing\"")}},
        {"a licence and a folder choice of the wrong kinds",
         with(R"(  "license": "", "allowFolderChoice": "true")"),
         {error("\"\"", "\"license\" is empty; name the licence file beside the manifest"),
          error("\"true\"", "\"allowFolderChoice\" is the text \"true\"; it must be true or false.")}},
        {"not an object at all", "[1, 2]", {error("", "The manifest is a JSON array, not an object")}},
        {"a JSON syntax error stops there", "{\n  \"name\": \"Notes\",\n}",
         {error("}", "line 3, column 1. JSON allows no comma after the last member or element: remove the one before it.")}},
        {"a comment", "{\"name\": \"N\u00f6tes\", // the app\n}", {error("//", "JSON has no comments: remove it.")}},
        {"a trailing comma in an array", "{\"documents\": [{}, ]}", {error("]", "remove the one before it.")}},
        {"another syntax error", "{\"name\" \"Notes\"}", {error("\"Notes", "a colon expected after the member name at line 1, column 9.")}},
    };
    for (const Case& c : cases) expect_findings(c);
}

// Icon ids: the boundaries of the integer range, and how each other number is read.
TEST(ManifestReview, IconIdsAreIntegersFrom0To65535) {
    const std::pair<const char*, const char*> table[] = {
        {"0", nullptr},
        {"65535", nullptr},
        {"65536", "is the number 65536; it must be an integer from 0 to 65535"},
        {"70000", "is the number 70000; it must be an integer from 0 to 65535"},
        {"18446744073709551616", "the id of an icon group in the app's exe."},
        {"-1", "is the number -1; it must be an integer from 0 to 65535"},
        {"2.0", "written without a fraction or exponent: write 2."},
        {"2e0", "written without a fraction or exponent: write 2."},
        {"2.5", "it must be an integer from 0 to 65535, the id of an icon group in the app's exe."},
        {"1e400", "is the number 1e400; it must be an integer from 0 to 65535, the id of an icon group in the app's exe."},
        {"\"70000\"", "the id of an icon group in the app's exe."},
        {"true", "is true; it must be an integer"},
    };
    for (const auto& [icon, says] : table) {
        Case c{icon, with(std::string("  \"documents\": [{\"name\": \"D\", \"icon\": ") + icon + "}]"), {}};
        // The place is the value's, not the key's.
        if (says != nullptr) c.findings.push_back(error(std::string(icon) + "}", says));
        expect_findings(c);
    }
}

TEST(ManifestReview, ExtensionsMustNameFilesAndKeys) {
    const std::pair<std::string, const char*> table[] = {
        {R"("note")", nullptr},
        {R"("tar.gz")", nullptr},
        {R"("n\u00f6te")", nullptr},
        {R"(".wnote")", "starts with a dot, \".wnote\"; write it without the dot: \"wnote\""},
        {R"(".")", "starts with a dot"},
        {R"("")", "is empty"},
        {R"("a\\b")", "has a backslash"},
        {R"("a/b")", "has the character /"},
        {R"("a:b")", "has the character :"},
        {R"("a*")", "has the character *"},
        {R"("a?")", "has the character ?"},
        {R"("a\"b")", "has the character \""},
        {R"("<a")", "has the character <"},
        {R"("a>")", "has the character >"},
        {R"("a|b")", "has the character |"},
        {R"("a\u0000")", "has the character U+0000"},
        {R"("a\tb")", "has the control character U+0009"},
        {R"("a\u001fb")", "has the control character U+001F"},
        {R"("a\u007f")", "has the control character U+007F"},
        {R"("a\u009f")", "has the control character U+009F"},
        {R"("a\u00a0")", nullptr},
        {R"("note.")", "ends in a dot or a space"},
        {R"("note ")", "ends in a dot or a space"},
        {R"(" note")", nullptr},
    };
    for (const auto& [extension, says] : table) {
        Case c{extension.c_str(), with("  \"documents\": [{\"name\": \"D\", \"extensions\": [" + extension + "]}]"), {}};
        if (says != nullptr) c.findings.push_back(error(extension + "]", std::string("\"documents[0]\" has an extension that ") + says));
        expect_findings(c);
    }
}

TEST(ManifestReview, AnExtensionIsGivenOnceInTheManifestWhateverItsCase) {
    const Case cases[] = {
        {"twice in one type", with(R"(  "documents": [{"name": "D", "extensions": ["note", "NOTE"]}])"),
         {error("\"NOTE\"", "\"documents[0]\" has the extension \"NOTE\" twice")}},
        {"in two types", with(R"(  "documents": [{"name": "D", "extensions": ["note"]}, {"name": "E", "extensions": ["Note"]}])"),
         {error("\"Note\"", "\"documents[1]\" has the extension \"Note\", which \"documents[0]\" has too")}},
        {"letters beyond ASCII", with(R"(  "documents": [{"name": "D", "extensions": ["\u00e9t\u00e9", "\u00c9T\u00c9", "\u0434\u043e\u043a", "\u0414\u041e\u041a", "\u0105", "\u0104"]}])"),
         {error("\"\\u00c9T\\u00c9\"", "twice"), error("\"\\u0414\\u041e\\u041a\"", "twice"), error("\"\\u0104\"", "twice")}},
        {"different extensions", with(R"(  "documents": [{"name": "D", "extensions": ["note", "notes", "not"]}, {"name": "E", "extensions": ["txt"]}])"),
         {}},
    };
    for (const Case& c : cases) expect_findings(c);
}

TEST(ManifestReview, AnOwnedExtensionCantBeOneWindowsRunsAsAProgram) {
    for (std::string_view extension : program_extensions()) {
        const std::string written = "\"" + std::string(extension) + "\"";
        expect_findings({"owned", with("  \"documents\": [{\"name\": \"D\", \"owned\": true, \"extensions\": [" + written + "]}]"),
                         {error(written + "]", "owns the extension " + written + ", which Windows runs as a program or script")}});
        // Only in its "Open with" list, the app takes nothing over.
        expect_findings({"not owned", with("  \"documents\": [{\"name\": \"D\", \"owned\": false, \"extensions\": [" + written + "]}]"), {}});
    }
    // Compared without case; the issue's list is all there.
    expect_findings({"upper case", with(R"(  "documents": [{"name": "D", "owned": true, "extensions": ["note", "Ps1"]}])"),
                     {error("\"Ps1\"", "owns the extension \"Ps1\"")}});
    for (std::string_view needed : {"exe", "com", "bat", "cmd", "pif", "scr", "lnk", "url", "msi", "msp", "cpl", "hta", "js",
                                    "jse", "vbs", "vbe", "wsf", "wsh", "ps1", "reg"}) {
        const auto& list = program_extensions();
        EXPECT_NE(std::find(list.begin(), list.end(), needed), list.end()) << needed;
    }
}

TEST(ManifestReview, WarningsLeaveTheManifestPackable) {
    const Case cases[] = {
        {"a version without a leading number", with(R"(  "version": "beta 2")"),
         {warning("\"beta 2\"", "\"version\" \"beta 2\" doesn't start with a number, so the installer's numeric file version is 0.0.0.0")}},
        {"an empty version", with(R"(  "version": "")"), {warning("\"\"", "doesn't start with a number")}},
        {"a number above 65535", with(R"(  "version": "1.65536.2")"),
         {warning("\"1.65536.2\"", "has the number 65536, above 65535")}},
        {"a long number", with(R"(  "version": "2024.0000000000000000001.1")"), {}},
        {"the largest numbers", with(R"(  "version": "65535.65535.65535.65535.99999")"), {}},
        {"numbers after the fourth don't count", with(R"(  "version": "1.2.3.4.70000")"), {}},
        {"a leading number and text", with(R"(  "version": "2.5.1-beta")"), {}},
        {"a document type without a name",
         with(R"(  "documents": [{"extensions": ["note"]}, {"name": "", "extensions": ["txt"]}, {"name": "D"}])"),
         {warning("{\"extensions\"", "\"documents[0]\" has no \"name\""), warning("\"\"", "\"documents[1]\" has no \"name\"")}},
        {"another program's ProgID, in any case",
         R"({"name": "N", "id": "python", "exe": "N.exe", "documents": [{"name": "D", "extensions": ["py"]}, {"name": "P", "extensions": ["FILE"]}]})",
         {warning("{\"name\": \"P\"", "\"documents[1]\" gets the ProgID \"python.FILE\", which Python registers too")}},
        {"a ProgID near one", R"({"name": "N", "id": "Python", "exe": "N.exe", "documents": [{"name": "D", "extensions": ["Files"]}]})", {}},
    };
    for (const Case& c : cases) expect_findings(c);
}

TEST(ManifestReview, AnIconTheAppHasNoGroupForIsAWarning) {
    const std::string json = with(R"(  "documents": [{"name": "D", "icon": 2}, {"name": "E", "icon": 7}])");
    expect_findings({"groups 1 and 2", json, {warning("7}", "\"documents[1]\" has \"icon\": 7, but the app's exe has no icon group 7 (it has 1, 2)")}},
                    AppFacts{std::set<std::uint16_t>{1, 2}});
    expect_findings({"no groups", json, {warning("2}", "(it has none)"), warning("7}", "(it has none)")}},
                    AppFacts{std::set<std::uint16_t>{}});
    expect_findings({"unknown", json, {}}, AppFacts{});
}

// Every problem in one run, in the order of the text, each with its place.
TEST(ManifestReview, EveryProblemIsReportedInOneRun) {
    const std::string json = R"({
  "name": "Notes",
  "verison": "1.0",
  "exe": "notepad",
  "documents": [
    {"name": "Note", "extensions": [".wnote", ""], "owned": "yes", "icon": 70000}
  ]
})";
    expect_findings({"many", json,
                     {error("", "\"id\" is missing"), error("\"verison\"", "did you mean \"version\"?"),
                      error("\"notepad\"", "must end in \".exe\""), error("\".wnote\"", "starts with a dot"),
                      error("\"\"]", "is empty"), error("\"yes\"", "must be true or false: write true or false."),
                      error("70000", "must be an integer from 0 to 65535")}});
}

TEST(ManifestReview, ACorrectManifestPassesAsTheRuntimeReadsIt) {
    const std::string json = R"({
  "$schema": "../docs/app-manifest.schema.json",
  "name": "Notes", "id": "com.example.notes", "version": "1.4.2", "publisher": "Example Ltd",
  "exe": "Notes.EXE",
  "documents": [
    {"name": "Notes document", "extensions": ["note", "notes"], "owned": true, "icon": 2},
    {"name": "Plain text", "extensions": ["txt", "exe"]}
  ]
})";
    const ManifestReview review = review_manifest(json, AppFacts{std::set<std::uint16_t>{2}});
    EXPECT_TRUE(review.problems.empty()) << show(review);
    ASSERT_TRUE(review.manifest.has_value());
    EXPECT_EQ(*review.manifest, *parse_app_manifest(json));
    EXPECT_EQ(*check_manifest_for_packing(json), *parse_app_manifest(json));
}

// What the runtime refuses, the packer refuses: it never makes an installer the runtime calls
// damaged.
TEST(ManifestReview, WhatTheRuntimeRefusesThePackerRefuses) {
    for (const std::string json : {
             "", "{", "[]", "\"x\"", "null", "{}", R"({"name": "", "id": "x", "exe": "a.exe"})",
             R"({"name": "a", "id": 1, "exe": "a.exe"})", R"({"name": "a", "id": "x", "exe": "con.exe"})",
             R"({"name": "a", "id": "x", "exe": "uninstall.exe"})", R"({"name": "a", "id": "x", "exe": "a.exe.old"})",
             R"({"name": "a", "id": "x", "exe": "a\tb.exe"})", "\xEF\xBB\xBF{\"name\": \"a\", \"id\": \"x\", \"exe\": \"a.exe\"}",
             R"({"name": "a", "id": "x", "exe": "a.exe"} x)", R"({"name": "a", "name": "", "id": "x", "exe": "a.exe"})"}) {
        ASSERT_FALSE(check_app_manifest(json).ok()) << json;
        EXPECT_TRUE(review_manifest(json).refused()) << json;
        EXPECT_FALSE(check_manifest_for_packing(json).ok()) << json;
    }
}

}  // namespace
}  // namespace plinth::pack
