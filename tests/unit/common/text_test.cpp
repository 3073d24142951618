#include "common/text.h"

#include <gtest/gtest.h>

#include "common/result.h"

namespace plinth {
namespace {

TEST(Text, RoundTripsCharactersOutsideTheBasicPlane) {
    const std::string text = "Notes \xF0\x9F\x93\x9D caf\xC3\xA9";
    const std::u16string wide = to_utf16(text);
    EXPECT_EQ(wide, u"Notes \U0001F4DD caf\u00E9");
    EXPECT_EQ(to_utf8(wide), text);
}

TEST(Text, ScalarValuesAgreeWithUtf16) {
    // Every malformed sequence gives U+FFFD per byte, exactly as on the way to UTF-16: a
    // truncated sequence, an encoded surrogate, an overlong form, a stray continuation byte.
    const std::string inputs[] = {"Notes \xF0\x9F\x93\x9D caf\xC3\xA9", "a\xC3", "\xED\xA0\x80",
                                  "\xC0\xAF", "\x80x", ""};
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input);
        const std::u32string scalars = to_utf32(input);
        EXPECT_EQ(to_utf8(scalars), to_utf8(to_utf16(input)));
    }
    EXPECT_EQ(to_utf32("a\xC3"), (std::u32string{U'a', 0xFFFD}));
    EXPECT_EQ(to_utf32("\xF0\x9F\x93\x9D"), std::u32string{0x1F4DD});
}

TEST(Text, UnpairedSurrogateBecomesReplacementCharacter) {
    const std::u16string lone_high{u'a', char16_t(0xD800), u'b'};
    const std::u16string lone_low{char16_t(0xDC00)};
    const std::u16string reversed{char16_t(0xDC00), char16_t(0xD800)};
    EXPECT_EQ(to_utf8(lone_high), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(to_utf8(lone_low), "\xEF\xBF\xBD");
    EXPECT_EQ(to_utf8(reversed), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_FALSE(to_utf8_strict(lone_high).has_value());
    EXPECT_EQ(to_utf8_strict(u"ok"), "ok");
}

TEST(Text, Utf8Validation) {
    EXPECT_TRUE(is_valid_utf8("plain \xC3\xA9 \xF0\x9F\x93\x9D"));
    EXPECT_FALSE(is_valid_utf8("\xC0\xAF"));          // overlong '/'
    EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80"));      // encoded surrogate
    EXPECT_FALSE(is_valid_utf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(is_valid_utf8("\xE2\x82"));          // cut short
}

TEST(Text, JoinPutsOneSeparatorBetween) {
    EXPECT_EQ(join_path(u"C:\\Apps", u"Notes"), u"C:\\Apps\\Notes");
    EXPECT_EQ(join_path(u"C:\\Apps\\", u"Notes"), u"C:\\Apps\\Notes");
    EXPECT_EQ(join_path(u"C:\\Apps/", u"Notes"), u"C:\\Apps/Notes");
    EXPECT_EQ(join_path(u"", u"Notes"), u"Notes");
}

TEST(Text, ParentAndFinalComponent) {
    EXPECT_EQ(parent_folder(u"C:\\Apps\\Notes.exe"), u"C:\\Apps");
    EXPECT_EQ(parent_folder(u"Notes.exe"), std::nullopt);
    EXPECT_EQ(parent_folder(u"C:\\Notes.exe"), u"C:\\");
    EXPECT_EQ(parent_folder(u"\\Notes.exe"), u"\\");
    EXPECT_EQ(parent_folder(u"C:Notes\\Notes.exe"), u"C:Notes");
    EXPECT_EQ(final_component(u"C:\\Apps\\Notes.exe"), u"Notes.exe");
    EXPECT_EQ(final_component(u"C:\\Apps\\"), u"");
}

TEST(Text, AsciiLowerLeavesOtherLettersAlone) {
    EXPECT_EQ(ascii_lower(u"/UNINSTALL \u00C9"), u"/uninstall \u00C9");
}

// Only letters match across case: other bytes 0x20 apart ('@' and '`', '+' and a control) don't.
TEST(Text, CaseBlindEqualityFoldsLettersOnly) {
    EXPECT_TRUE(equal_ascii_case_blind("HtTpS://", "https://"));
    EXPECT_TRUE(equal_ascii_case_blind("", ""));
    EXPECT_FALSE(equal_ascii_case_blind("a@b", "a`b"));
    EXPECT_FALSE(equal_ascii_case_blind("a+b", "a\vb"));
    EXPECT_FALSE(equal_ascii_case_blind("[x]", "{x}"));
    EXPECT_FALSE(equal_ascii_case_blind("\xC9", "\xE9"));
    EXPECT_FALSE(equal_ascii_case_blind("web", "webs"));
}

TEST(VisibleControls, EveryC0ControlIsWrittenVisibly) {
    using namespace std::string_literals;
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"a\0b"s, "a\\0b"},
        {"\0"s, "\\0"},
        {"\0\0x\0"s, "\\0\\0x\\0"},
        {"Z\xC3\xBC\0"s, "Z\xC3\xBC\\0"},
        {"a\r\nsetup: done", "a\\r\\nsetup: done"},
        {"\t\x1B[31m\x01\x1F\x7F ", "\\t\\x1B[31m\\x01\\x1F\x7F "},  // DEL and space stay
    };
    for (const auto& [text, visible] : cases) EXPECT_EQ(visible_controls(text), visible);
}

TEST(VisibleControls, FailureTextsCarryNoControlCharacter) {
    using namespace std::string_literals;
    const Status failed = fail("Can't write to the registry (Software\\a\0b, error 123)."s);
    EXPECT_EQ(failed.error().text, "Can't write to the registry (Software\\a\\0b, error 123).");
    const Status open = fail("Notes\r\nsetup: fine is open.");
    EXPECT_EQ(open.error().text, "Notes\\r\\nsetup: fine is open.");
}

TEST(VisibleNul, PartsJoinedAndNulShown) {
    using namespace std::string_literals;
    const Status failed = fail({"Release ", decimal_text(0), " of ", ""s, "id\0x"s, ": ", decimal_text(18446744073709551615u)});
    EXPECT_EQ(failed.error().text, "Release 0 of id\\0x: 18446744073709551615");
    EXPECT_EQ(concat({}), "");
}

}  // namespace
}  // namespace plinth
