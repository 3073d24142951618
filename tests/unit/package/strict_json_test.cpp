#include "package/strict_json.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace std::string_literals;

namespace plinth {
namespace {

struct NumberCase {
    std::string written;
    JsonNumberKind kind;
    std::uint64_t integer;  // for the integer kinds
};

// The kinds at their edges: 64 bits either way, and numbers beyond a double that the reader on
// its own would refuse. The text is kept exactly as written in every case.
TEST(StrictJson, NumbersKeepTheirTextAndOneOfThreeKinds) {
    const std::string huge = "1" + std::string(400, '0');
    const NumberCase table[] = {
        {"0", JsonNumberKind::unsigned_integer, 0},
        {"65538", JsonNumberKind::unsigned_integer, 65538},
        {"18446744073709551615", JsonNumberKind::unsigned_integer, UINT64_MAX},
        {"18446744073709551616", JsonNumberKind::fractional, 0},
        {"99999999999999999999", JsonNumberKind::fractional, 0},
        {"-0", JsonNumberKind::signed_integer, 0},
        {"-1", JsonNumberKind::signed_integer, UINT64_MAX},
        {"-9223372036854775808", JsonNumberKind::signed_integer, std::uint64_t{1} << 63},
        {"-9223372036854775809", JsonNumberKind::fractional, 0},
        {"2.0", JsonNumberKind::fractional, 0},
        {"2e0", JsonNumberKind::fractional, 0},
        {"-2E+2", JsonNumberKind::fractional, 0},
        {"1e400", JsonNumberKind::fractional, 0},
        {"-1e400", JsonNumberKind::fractional, 0},
        {"0e400", JsonNumberKind::fractional, 0},
        {"0.5e-400", JsonNumberKind::fractional, 0},
        {huge, JsonNumberKind::fractional, 0},
        {"-" + huge + ".5e+999", JsonNumberKind::fractional, 0},
    };
    for (const auto& c : table) {
        // In an array, followed by another value, so that the positions after it count too.
        const auto parsed = parse_strict_json("[" + c.written + ", 7]");
        ASSERT_TRUE(parsed.ok()) << c.written << ": " << parsed.error();
        ASSERT_EQ(parsed->elements.size(), 2u) << c.written;
        const JsonValue& number = parsed->elements[0];
        EXPECT_EQ(number.type, JsonType::number) << c.written;
        EXPECT_EQ(number.text, c.written);
        EXPECT_EQ(number.number_kind, c.kind) << c.written;
        if (c.kind != JsonNumberKind::fractional) {
            EXPECT_EQ(number.integer, c.integer) << c.written;
        }
        EXPECT_EQ(parsed->elements[1].text, "7") << c.written;
    }
}

TEST(StrictJson, NumbersOutsideTheGrammarAreRefusedEvenWhenLong) {
    const std::string huge = "1" + std::string(400, '0');
    for (const std::string& text : {"[1e]"s, "[1.e5]"s, "[-]"s, "[01]"s, "[" + huge + "x]", "[" + huge + "e]",
                                    "[1e400-1]"s, "[.5]"s, "[1e+]"s}) {
        EXPECT_FALSE(parse_strict_json(text).ok()) << text;
    }
}

// A surrogate escape forms a character only as a high one followed at once by a low one.
TEST(StrictJson, SurrogateEscapesMustPair) {
    const std::pair<std::string, std::optional<std::string>> table[] = {
        {R"("\ud800\udc00")", "\xF0\x90\x80\x80"},
        {R"("\uDBFF\uDFFF")", "\xF4\x8F\xBF\xBF"},
        {R"("\ud7ff\ue000")", "\xED\x9F\xBF\xEE\x80\x80"},
        {R"("\\udc00")", "\\udc00"},  // an escaped backslash, then plain letters
        {R"("\u0000")", std::string(1, '\0')},
        {R"("\ud83d\ude00\udc00")", std::nullopt},
        {R"("\udc00")", std::nullopt},
        {R"("\uDFFF")", std::nullopt},
        {R"("a\udc00\ud800")", std::nullopt},
        {R"("\ud800")", std::nullopt},
        {R"("\ud800x")", std::nullopt},
        {R"("\ud800\ud800")", std::nullopt},
        {R"("\ud800\u0041")", std::nullopt},
    };
    for (const auto& [text, decoded] : table) {
        const auto parsed = parse_strict_json(text);
        ASSERT_EQ(parsed.ok(), decoded.has_value()) << text;
        if (decoded) {
            EXPECT_EQ(parsed->text, *decoded) << text;
        }
    }
}

// Every escape, and characters written as they are, U+FFFD among them.
TEST(StrictJson, StringsDecodeEveryEscape) {
    const auto parsed = parse_strict_json(R"(["\"\\\/\b\f\n\r\t\u0041\u00e9\u20AC", ")"
                                          "\xEF\xBF\xBD\xF4\x8F\xBF\xBF\xC3\xA9\"]");
    ASSERT_TRUE(parsed.ok()) << parsed.error();
    EXPECT_EQ(parsed->elements.at(0).text, "\"\\/\b\f\n\r\tA\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(parsed->elements.at(1).text, "\xEF\xBF\xBD\xF4\x8F\xBF\xBF\xC3\xA9");
}

std::string nested(int depth, const std::string& open, const std::string& close) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += open;
    text += "1";
    for (int i = 0; i < depth; ++i) text += close;
    return text;
}

TEST(StrictJson, NestingStopsAt127LevelsOfEitherKind) {
    EXPECT_TRUE(parse_strict_json(nested(127, "[", "]")).ok());
    EXPECT_TRUE(parse_strict_json(nested(127, "{\"a\":", "}")).ok());
    EXPECT_TRUE(parse_strict_json("[" + nested(63, "[{\"a\":", "}]") + "]").ok());
    EXPECT_FALSE(parse_strict_json("[[" + nested(63, "[{\"a\":", "}]") + "]]").ok());
    const auto deep = parse_strict_json(nested(128, "[", "]"));
    ASSERT_FALSE(deep.ok());
    EXPECT_EQ(deep.error(), "nesting deeper than 127 levels at line 1, column 128");
    const auto deep_objects = parse_strict_json(nested(128, "{\"a\":", "}"));
    ASSERT_FALSE(deep_objects.ok());
    EXPECT_EQ(deep_objects.error(), "nesting deeper than 127 levels at line 1, column 636");
}

// Lines count line feeds; columns count characters, so "é" moves the column by one.
TEST(StrictJson, ErrorsSayWhereTheyAre) {
    const std::pair<std::string, std::string> table[] = {
        {"", "no value at line 1, column 1"},
        {"{\"a\": 1,\n}", "a member name (a string) expected at line 2, column 1"},
        {"{\"\xC3\xA9\" 1}", "a colon expected after the member name at line 1, column 6"},
        {"[1 2]", "a comma or ] expected at line 1, column 4"},
        {"{\"a\": 1 \"b\"}", "a comma or } expected at line 1, column 9"},
        {"[1]\n x", "more than white space after the value at line 2, column 2"},
        {"[tru]", "not a JSON value at line 1, column 5"},
        {"\"a\\qb\"", "an unknown escape or a control character in a string at line 1, column 3"},
        {"\"ab", "a string without its closing quote at line 1, column 4"},
        {"[\"\xC3\xA9\xFF\"]", "a string that isn't valid UTF-8 at line 1, column 4"},
        {"\"\\u12G4\"", "a \\u escape without four hex digits at line 1, column 2"},
        {"\n\"\\ud800\"", "an escape of half a character (a lone high surrogate) at line 2, column 2"},
        {"\n \"\\udc00\"", "an escape of half a character (a lone low surrogate) at line 2, column 3"},
        {"[1.]", "a number without digits after its point at line 1, column 4"},
        {"[1e]", "a number without digits in its exponent at line 1, column 4"},
        {"[1,\n\t2\0]"s, "a NUL byte at line 2, column 3"},
        {"\xEF\xBB\xBF{}", "the text starts with a byte-order mark"},
        // A character cut by the end of the text (long enough to be read from the heap, where a
        // read past the end shows under AddressSanitizer).
        {"\"abcdefghijklmnopqrstuvwxyz\xF0", "a string that isn't valid UTF-8 at line 1, column 28"},
        {"\"abcdefghijklmnopqrstuvwxyz\xF0\x9F\x98", "a string that isn't valid UTF-8 at line 1, column 28"},
        {"[\"abcdefghijklmnopqrstuvwxyz\xE2\x82", "a string that isn't valid UTF-8 at line 1, column 29"},
        {"\"abcdefghijklmnopqrstuvwxyz\xC3", "a string that isn't valid UTF-8 at line 1, column 28"},
        // A sequence is refused at its first byte, whatever byte breaks it: an overlong, a
        // surrogate, beyond U+10FFFF, a closing quote where a continuation byte belongs.
        {"[\"\xC0\xAF\"]", "a string that isn't valid UTF-8 at line 1, column 3"},
        {"\"\xE0\x9F\xBF\"", "a string that isn't valid UTF-8 at line 1, column 2"},
        {"\"\xED\xA0\x80\"", "a string that isn't valid UTF-8 at line 1, column 2"},
        {"\"\xF4\x90\x80\x80\"", "a string that isn't valid UTF-8 at line 1, column 2"},
        {"\"\xC3\" ", "a string that isn't valid UTF-8 at line 1, column 2"},
        {"\"\x80\"", "a string that isn't valid UTF-8 at line 1, column 2"},
        {"\xC3\xA9", "not a JSON value at line 1, column 1"},
        // Escape faults are at the backslash, even when the second half of a pair is at fault.
        {"\"\\ud800\\u12G4\"", "a \\u escape without four hex digits at line 1, column 2"},
        {"\"\\ud800\\n\"", "an escape of half a character (a lone high surrogate) at line 1, column 2"},
        {"\"\\", "an unknown escape or a control character in a string at line 1, column 2"},
        {"\"a\tb\"", "an unknown escape or a control character in a string at line 1, column 3"},
        // The end of the text in the middle of a token.
        {" \n ", "no value at line 2, column 2"},
        {"nul", "not a JSON value at line 1, column 4"},
        {"[-]", "not a JSON value at line 1, column 3"},
        {"[1,]", "not a JSON value at line 1, column 4"},
        {"{\"a\"", "a colon expected after the member name at line 1, column 5"},
        {"[1e+", "a number without digits in its exponent at line 1, column 5"},
        // A NUL byte, nesting too deep and a lone low surrogate are named before an earlier
        // fault of the syntax.
        {"x\0"s, "a NUL byte at line 1, column 2"},
        {"[x, \"\\udc00\"]", "an escape of half a character (a lone low surrogate) at line 1, column 6"},
        {"{1}" + nested(128, "[", "]"), "nesting deeper than 127 levels at line 1, column 131"},
        // A number beyond a double's range is a number like any other: the fault is after it.
        {"[1e400-1]", "a comma or ] expected at line 1, column 7"},
    };
    for (const auto& [text, error] : table) {
        const auto parsed = parse_strict_json(text);
        ASSERT_FALSE(parsed.ok()) << text;
        EXPECT_EQ(parsed.error(), error) << text;
    }
}

TEST(StrictJson, ObjectsKeepEveryMemberAndFindGivesTheLastValue) {
    const auto parsed = parse_strict_json(R"({"a": 1, "b": {"a": 2, "a": [3]}, "a": "x", "A": null})");
    ASSERT_TRUE(parsed.ok()) << parsed.error();
    ASSERT_EQ(parsed->members.size(), 4u);
    EXPECT_EQ(parsed->members[0].key, "a");
    EXPECT_EQ(parsed->members[2].key, "a");
    ASSERT_NE(parsed->find("a"), nullptr);
    EXPECT_EQ(parsed->find("a")->text, "x");
    EXPECT_EQ(parsed->find("A")->type, JsonType::null);
    EXPECT_EQ(parsed->find("c"), nullptr);
    const JsonValue* inner = parsed->find("b")->find("a");
    ASSERT_NE(inner, nullptr);
    ASSERT_TRUE(inner->is_array());
    EXPECT_EQ(inner->elements.at(0).integer, 3u);
    // Not an object: nothing to find.
    EXPECT_EQ(parsed->find("b")->find("a")->find("a"), nullptr);
}

TEST(StrictJson, ScalarsAtTheTopAndWhiteSpaceAround) {
    const std::pair<std::string, JsonType> table[] = {
        {" \t\r\ntrue\n", JsonType::boolean}, {"null", JsonType::null}, {"\"\"", JsonType::string},
        {"[]", JsonType::array},          {"{}", JsonType::object}, {"-0.0", JsonType::number},
    };
    for (const auto& [text, type] : table) {
        const auto parsed = parse_strict_json(text);
        ASSERT_TRUE(parsed.ok()) << text << ": " << parsed.error();
        EXPECT_EQ(parsed->type, type) << text;
    }
    EXPECT_TRUE(parse_strict_json("true")->boolean);
    EXPECT_FALSE(parse_strict_json("false")->boolean);
    for (const std::string text : {"\ftrue", "true\v", "\xC2\xA0true", "True", "nul", "[1,]", "{,}", "/**/1"}) {
        EXPECT_FALSE(parse_strict_json(text).ok()) << text;
    }
}

}  // namespace
}  // namespace plinth
