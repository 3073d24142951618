#include "package/manifest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plinth {
namespace {

const std::string kMinimal = R"({"name":"Notes","id":"org.notes","exe":"notes.exe")";

std::string with(const std::string& members) { return kMinimal + "," + members + "}"; }

std::string nested_arrays(int depth) {
    return kMinimal + R"(,"extra":)" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
}

struct Unreadable {
    const char* label;
    std::string json;
};

class RefusedManifest : public testing::TestWithParam<Unreadable> {};

TEST_P(RefusedManifest, IsUnreadableForTheUserAndExplainedToTheDeveloper) {
    const auto parsed = parse_app_manifest(GetParam().json);
    ASSERT_FALSE(parsed.ok());
    EXPECT_EQ(parsed.error().text, "Its contents can't be read.");
    const auto checked = check_app_manifest(GetParam().json);
    ASSERT_FALSE(checked.ok());
    EXPECT_FALSE(checked.error().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Manifest, RefusedManifest,
    testing::Values(
        Unreadable{"empty", ""},
        Unreadable{"only_white_space", " \n\t\r"},
        Unreadable{"array", R"([{"name":"Notes","id":"org.notes","exe":"notes.exe"}])"},
        Unreadable{"string", R"("Notes")"},
        Unreadable{"null", "null"},
        Unreadable{"name_missing", R"({"id":"org.notes","exe":"notes.exe"})"},
        Unreadable{"id_missing", R"({"name":"Notes","exe":"notes.exe"})"},
        Unreadable{"exe_missing", R"({"name":"Notes","id":"org.notes"})"},
        Unreadable{"name_empty", R"({"name":"","id":"org.notes","exe":"notes.exe"})"},
        Unreadable{"exe_empty", R"({"name":"Notes","id":"org.notes","exe":""})"},
        Unreadable{"id_a_number", R"({"name":"Notes","id":7,"exe":"notes.exe"})"},
        Unreadable{"name_null", R"({"name":null,"id":"org.notes","exe":"notes.exe"})"},
        Unreadable{"key_case_differs", R"({"Name":"Notes","id":"org.notes","exe":"notes.exe"})"},
        Unreadable{"repeated_key_last_empty", with(R"("name":"")")},
        Unreadable{"trailing_comma_object", with(R"("version":"1",)")},
        Unreadable{"trailing_comma_array", with(R"("documents":[{},])")},
        Unreadable{"line_comment", "// notes\n" + kMinimal + "}"},
        Unreadable{"block_comment", kMinimal + "/* x */}"},
        Unreadable{"single_quotes", R"({'name':'Notes','id':'org.notes','exe':'notes.exe'})"},
        Unreadable{"byte_order_mark", "\xEF\xBB\xBF" + kMinimal + "}"},
        Unreadable{"trailing_garbage", kMinimal + "}x"},
        Unreadable{"second_value", kMinimal + "} {}"},
        Unreadable{"trailing_nul", kMinimal + "}" + std::string(1, '\0')},
        Unreadable{"nul_then_garbage", kMinimal + "}" + std::string(1, '\0') + "garbage"},
        Unreadable{"trailing_form_feed", kMinimal + "}\f"},
        Unreadable{"trailing_nbsp", kMinimal + "}\xC2\xA0"},
        Unreadable{"invalid_utf8_in_string", with("\"version\":\"\xFF\"")},
        Unreadable{"overlong_utf8", with("\"version\":\"\xC0\xAF\"")},
        Unreadable{"encoded_surrogate_utf8", with("\"version\":\"\xED\xA0\x80\"")},
        Unreadable{"lone_high_surrogate_escape", with(R"("version":"\ud800")")},
        Unreadable{"lone_low_surrogate_escape", with(R"("version":"\udc00x")")},
        Unreadable{"bad_escape", with(R"("version":"\x41")")},
        Unreadable{"raw_control_character", with("\"version\":\"a\tb\"")},
        Unreadable{"nan", with(R"("version":NaN)")},
        Unreadable{"leading_zero", with(R"("version":01)")},
        Unreadable{"plus_sign", with(R"("version":+1)")},
        Unreadable{"depth_128", nested_arrays(128)},
        Unreadable{"unclosed", kMinimal}),
    [](const auto& info) { return std::string(info.param.label); });

// A valid manifest grown with white space to `size` bytes.
std::string manifest_of_size(std::size_t size) {
    const std::string json = kMinimal + "}";
    return json + std::string(size - json.size(), ' ');
}

TEST(Manifest, SizeUpToTheLimitIsAcceptedAndOneByteMoreIsRefusedUnparsed) {
    EXPECT_TRUE(parse_app_manifest(manifest_of_size(kMaxManifestSize)).ok());
    EXPECT_TRUE(check_app_manifest(manifest_of_size(kMaxManifestSize)).ok());

    const auto parsed = parse_app_manifest(manifest_of_size(kMaxManifestSize + 1));
    ASSERT_FALSE(parsed.ok());
    EXPECT_EQ(parsed.error().text, "Its contents can't be read.");
    const auto checked = check_app_manifest(manifest_of_size(kMaxManifestSize + 1));
    ASSERT_FALSE(checked.ok());
    EXPECT_EQ(checked.error(), "The manifest is 1048577 bytes; it may be at most 1048576 bytes (1 MiB).");
    // Too large wins over any other problem: the text is not read.
    EXPECT_EQ(check_app_manifest("[" + std::string(kMaxManifestSize, ' ')).error(),
              "The manifest is 1048577 bytes; it may be at most 1048576 bytes (1 MiB).");
}

TEST(Manifest, ReadsEveryField) {
    const auto manifest = parse_app_manifest(R"({
        "name": "Notes", "id": "org.notes", "version": "1.2", "publisher": "Notes & Co",
        "exe": "notes.exe", "unknown": {"ignored": [1, 2]},
        "documents": [
            {"name": "Note", "extensions": ["note", "nt"], "owned": true, "icon": 2},
            {"name": "Text", "extensions": ["txt"]}
        ]})");
    ASSERT_TRUE(manifest.ok());
    const AppManifest expected{
        "Notes", "org.notes", "1.2", "Notes & Co", "notes.exe",
        {DocumentType{"Note", {"note", "nt"}, true, 2}, DocumentType{"Text", {"txt"}, false, std::nullopt}}};
    EXPECT_EQ(*manifest, expected);
}

TEST(Manifest, AcceptsOptionalTextsOfOtherTypesAsEmpty) {
    const auto manifest = parse_app_manifest(with(R"("version":1,"publisher":["x"],"documents":{"a":1})"));
    ASSERT_TRUE(manifest.ok());
    EXPECT_EQ(manifest->version, "");
    EXPECT_EQ(manifest->publisher, "");
    EXPECT_TRUE(manifest->documents.empty());
}

TEST(Manifest, RepeatedKeyTakesItsLastValue) {
    const auto manifest =
        parse_app_manifest(R"({"name":"First","id":"org.notes","exe":"notes.exe","name":"Second"})");
    ASSERT_TRUE(manifest.ok());
    EXPECT_EQ(manifest->name, "Second");
    // The last value decides even when it is the unusable one, and inside nested objects too.
    EXPECT_FALSE(parse_app_manifest(R"({"name":"Notes","id":"org.notes","exe":"notes.exe","exe":5})").ok());
    const auto nested = parse_app_manifest(with(R"("documents":[{"owned":true,"owned":false}])"));
    ASSERT_TRUE(nested.ok());
    EXPECT_FALSE(nested->documents.at(0).owned);
}

TEST(Manifest, WhiteSpaceAroundTheValueIsAccepted) {
    EXPECT_TRUE(parse_app_manifest(" \t\r\n" + kMinimal + "} \t\r\n").ok());
}

TEST(Manifest, NestingUpTo127LevelsIsAccepted) {
    EXPECT_TRUE(parse_app_manifest(nested_arrays(127)).ok());
    EXPECT_FALSE(parse_app_manifest(nested_arrays(128)).ok());
}

TEST(Manifest, BracketsInsideStringsDontCountAsNesting) {
    const std::string brackets(300, '[');
    const auto manifest = parse_app_manifest(with("\"version\":\"" + brackets + "\\\"" + brackets + "\""));
    ASSERT_TRUE(manifest.ok());
    EXPECT_EQ(manifest->version, brackets + "\"" + brackets);
}

TEST(Manifest, EscapesAndNonAsciiTextsAreDecoded) {
    const auto manifest = parse_app_manifest(
        R"({"name":"Caf\u00e9 \ud83d\ude00","id":"org.caf\u00e9","exe":"café.exe","publisher":"a\/b\\c\n"})");
    ASSERT_TRUE(manifest.ok());
    EXPECT_EQ(manifest->name, "Caf\xC3\xA9 \xF0\x9F\x98\x80");
    EXPECT_EQ(manifest->id, "org.caf\xC3\xA9");
    EXPECT_EQ(manifest->exe, "caf\xC3\xA9.exe");
    EXPECT_EQ(manifest->publisher, "a/b\\c\n");
}

struct DocumentCase {
    const char* label;
    std::string documents;  // the value of "documents"
    std::vector<DocumentType> expected;
};

class DocumentTypes : public testing::TestWithParam<DocumentCase> {};

TEST_P(DocumentTypes, AreReadAsWritten) {
    const auto manifest = parse_app_manifest(with("\"documents\":" + GetParam().documents));
    ASSERT_TRUE(manifest.ok()) << check_app_manifest(with("\"documents\":" + GetParam().documents)).error();
    EXPECT_EQ(manifest->documents, GetParam().expected);
}

const std::string kHugeInteger = "1" + std::string(400, '0');

INSTANTIATE_TEST_SUITE_P(
    Manifest, DocumentTypes,
    testing::Values(
        DocumentCase{"non_object_elements_are_defaults", R"([5, "x", null, [], {}])",
                     std::vector<DocumentType>(5)},
        DocumentCase{"extensions_keep_strings_in_order",
                     R"([{"extensions":["a", 1, "", null, "B", ".c"]}])",
                     {DocumentType{"", {"a", "", "B", ".c"}, false, std::nullopt}}},
        DocumentCase{"extensions_not_an_array", R"([{"extensions":"txt"}])", {DocumentType{}}},
        DocumentCase{"owned_as_string", R"([{"owned":"true"}])", {DocumentType{}}},
        DocumentCase{"owned_as_number", R"([{"owned":1}])", {DocumentType{}}},
        DocumentCase{"owned_false", R"([{"owned":false}])", {DocumentType{}}},
        DocumentCase{"icon_zero", R"([{"icon":0}])", {DocumentType{"", {}, false, 0}}},
        DocumentCase{"icon_65535", R"([{"icon":65535}])", {DocumentType{"", {}, false, 65535}}},
        DocumentCase{"icon_65536_wraps", R"([{"icon":65536}])", {DocumentType{"", {}, false, 0}}},
        DocumentCase{"icon_65538_is_2", R"([{"icon":65538}])", {DocumentType{"", {}, false, 2}}},
        DocumentCase{"icon_u64_max", R"([{"icon":18446744073709551615}])",
                     {DocumentType{"", {}, false, 65535}}},
        DocumentCase{"icon_above_u64", R"([{"icon":18446744073709551616}])", {DocumentType{}}},
        DocumentCase{"icon_beyond_double", "[{\"icon\":" + kHugeInteger + "}]", {DocumentType{}}},
        DocumentCase{"icon_exponent_beyond_double", R"([{"icon":1e400}])", {DocumentType{}}},
        DocumentCase{"icon_negative", R"([{"icon":-1}])", {DocumentType{}}},
        DocumentCase{"icon_negative_zero", R"([{"icon":-0}])", {DocumentType{}}},
        DocumentCase{"icon_fraction", R"([{"icon":2.0}])", {DocumentType{}}},
        DocumentCase{"icon_exponent", R"([{"icon":2e0}])", {DocumentType{}}},
        DocumentCase{"icon_string", R"([{"icon":"2"}])", {DocumentType{}}},
        DocumentCase{"name_not_string", R"([{"name":3}])", {DocumentType{}}},
        DocumentCase{"empty_name_kept", R"([{"name":"","extensions":[""]}])", {DocumentType{"", {""}, false, std::nullopt}}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Manifest, NumbersBeyondDoubleElsewhereDontBreakTheParse) {
    // Positions after the replaced number must still be exact: the trailing byte is refused.
    EXPECT_TRUE(parse_app_manifest(with("\"version\":" + kHugeInteger + ",\"v2\":-1E+999")).ok());
    EXPECT_FALSE(parse_app_manifest(with("\"version\":" + kHugeInteger) + "x").ok());
}

TEST(CheckAppManifest, ExplainsWhichKeyIsUnusable) {
    struct Case {
        std::string json;
        std::string expected;
    };
    const Case cases[] = {
        {R"({"id":"a","exe":"b"})", "The manifest's \"name\" is missing; it must be a non-empty string."},
        {R"({"name":"n","id":"","exe":"b"})", "The manifest's \"id\" is empty; it must be a non-empty string."},
        {R"({"name":"n","id":"a","exe":true})",
         "The manifest's \"exe\" is not a string (it is boolean); it must be a non-empty string."},
        {R"([1])", "The manifest is a JSON array, not an object, so \"name\", \"id\" and \"exe\" are missing."},
    };
    for (const auto& c : cases) {
        const auto checked = check_app_manifest(c.json);
        ASSERT_FALSE(checked.ok()) << c.json;
        EXPECT_EQ(checked.error(), c.expected);
    }
}

TEST(CheckAppManifest, GivesLineAndColumnOfJsonErrors) {
    const auto syntax = check_app_manifest("{\n  \"name\": \"n\",\n  \"id\" \"a\"\n}");
    ASSERT_FALSE(syntax.ok());
    EXPECT_NE(syntax.error().find("line 3, column"), std::string::npos) << syntax.error();
    EXPECT_EQ(syntax.error().find("[json.exception"), std::string::npos) << syntax.error();

    const auto deep = check_app_manifest("\n\n" + nested_arrays(128));
    ASSERT_FALSE(deep.ok());
    EXPECT_NE(deep.error().find("line 3"), std::string::npos) << deep.error();
    EXPECT_NE(deep.error().find("127"), std::string::npos) << deep.error();

    const auto bom = check_app_manifest("\xEF\xBB\xBF" + kMinimal + "}");
    ASSERT_FALSE(bom.ok());
    EXPECT_NE(bom.error().find("byte-order mark"), std::string::npos) << bom.error();
}

TEST(CheckAppManifest, AcceptsWhatTheRuntimeAcceptsWithTheSameFields) {
    const std::string json = with(R"("version":"2","documents":[{"name":"Note","extensions":["n"],"icon":1}])");
    const auto checked = check_app_manifest(json);
    const auto parsed = parse_app_manifest(json);
    ASSERT_TRUE(checked.ok());
    ASSERT_TRUE(parsed.ok());
    EXPECT_EQ(*checked, *parsed);
}

TEST(Manifest, UpdatesFeedIsReadLeniently) {
    const struct {
        std::string updates;
        std::string feed;
    } cases[] = {
        {R"({"feed":"https://example.com/feed.json"})", "https://example.com/feed.json"},
        {R"({"feed":"http://127.0.0.1:8000/feed.json","later":1})", "http://127.0.0.1:8000/feed.json"},
        {R"({"feed":"http://example.com/feed.json"})", ""},
        {R"({"feed":"https://u:p@example.com/"})", ""},
        {R"({"feed":7})", ""},
        {R"("https://example.com/feed.json")", ""},
        {"null", ""},
    };
    for (const auto& c : cases) {
        const auto manifest = parse_app_manifest(with(R"("updates":)" + c.updates));
        ASSERT_TRUE(manifest.ok()) << c.updates;
        EXPECT_EQ(manifest->update_feed, c.feed) << c.updates;
    }
}

TEST(Manifest, UpdatePublishersKeepTheNamesThatCanBeRead) {
    const auto manifest = parse_app_manifest(with(
        R"("updates":{"feed":"https://example.com/f","publishers":["CN=A, O=B", "not a name", 7, "O=\"C, Ltd\""]})"));
    ASSERT_TRUE(manifest.ok());
    EXPECT_EQ(manifest->update_publishers, (std::vector<std::string>{"CN=A, O=B", "O=\"C, Ltd\""}));
    // Publishers that aren't an array are none.
    EXPECT_TRUE(parse_app_manifest(with(R"("updates":{"publishers":"CN=A"})"))->update_publishers.empty());
}

// What Windows would refuse, or a registry key name that isn't one scheme, is left out, never
// handed on: the package still installs, without that link.
TEST(Manifest, AppUserModelIdAndProtocolsAreReadLeniently) {
    const std::string long_id(128, 'a');
    const struct {
        std::string members;
        std::string app_user_model_id;
        std::string protocols;
    } cases[] = {
        {R"("appUserModelId":"Example.Notes","protocols":["notes","Web+Notes.2"])", "Example.Notes", "notes|Web+Notes.2"},
        {R"("appUserModelId":")" + long_id + "\"", long_id, ""},
        {R"("appUserModelId":")" + long_id + "a\"", "", ""},
        // 127 units and one character of two: 129 as Windows counts.
        {R"("appUserModelId":")" + long_id.substr(1) + "\xF0\x9F\x98\x80\"", "", ""},
        {R"("appUserModelId":"Example Notes")", "", ""},
        {R"("appUserModelId":"Example.\u0000")", "", ""},
        {R"("appUserModelId":"")", "", ""},
        {R"("appUserModelId":7,"protocols":"notes")", "", ""},
        {R"("protocols":["notes","NOTES","1notes","no\\tes","no|tes","notes:",7,"",null,"other"])", "", "notes|other"},
        {R"("protocols":["a","b","c","d","e","f","g","h","i","j","k","l","m","n","o","p","q","A"])", "",
         "a|b|c|d|e|f|g|h|i|j|k|l|m|n|o|p"},
        {R"("protocols":[")" + std::string(256, 'x') + R"(",")" + std::string(255, 'x') + "\"]", "", std::string(255, 'x')},
    };
    for (const auto& c : cases) {
        const auto manifest = parse_app_manifest(with(c.members));
        ASSERT_TRUE(manifest.ok()) << c.members;
        EXPECT_EQ(manifest->app_user_model_id, c.app_user_model_id) << c.members;
        EXPECT_EQ(manifest->protocols, c.protocols) << c.members;
    }
}

}  // namespace
}  // namespace plinth
