#include "system_error/error_text.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace plinth {
namespace {

TEST(OsErrorText, SystemMessageTrimmedThenTheCode) {
    fake::FakePlatform fake;
    EXPECT_EQ(os_error_text(fake.system_text, 5), "Access is denied. (os error 5)");
    ASSERT_EQ(fake.system_text.calls.size(), 1u);
    EXPECT_EQ(fake.system_text.calls[0].flags, 0x1000u | 0x200u);
    EXPECT_FALSE(fake.system_text.calls[0].from_ntdll);
}

TEST(OsErrorText, TrimsTrailingSpaceAndJoinsLinesWithASpace) {
    fake::FakePlatform fake;
    fake.system_text.messages[1234] = u"  First line.\r\nSecond line.\t \r\n";
    EXPECT_EQ(os_error_text(fake.system_text, 1234), "  First line. Second line. (os error 1234)");
    fake.system_text.messages[1235] = u"Ends here \r\n\r\nand here.";
    EXPECT_EQ(os_error_text(fake.system_text, 1235), "Ends here and here. (os error 1235)");
}

TEST(OsErrorText, NtStatusCodesComeFromNtdllWithTheBitCleared) {
    fake::FakePlatform fake;
    const std::uint32_t code = 0xD0000022u;  // STATUS_ACCESS_DENIED with FACILITY_NT_BIT
    const std::string text = os_error_text(fake.system_text, code);
    ASSERT_EQ(fake.system_text.calls.size(), 1u);
    EXPECT_EQ(fake.system_text.calls[0].flags, 0x1000u | 0x200u | 0x800u);
    EXPECT_TRUE(fake.system_text.calls[0].from_ntdll);
    EXPECT_EQ(fake.system_text.calls[0].code, 0xC0000022u);
    EXPECT_EQ(text.substr(text.size() - std::string(" (os error 3489660962)").size()),
              " (os error 3489660962)");
}

TEST(OsErrorText, FallbackTexts) {
    fake::FakePlatform fake;
    EXPECT_EQ(os_error_text(fake.system_text, 99999),
              "OS Error 99999 (FormatMessageW() returned error 317)");
    fake.system_text.messages[4242] = std::u16string{u'B', u'a', u'd', char16_t(0xD800)};
    EXPECT_EQ(os_error_text(fake.system_text, 4242),
              "OS Error 4242 (FormatMessageW() returned invalid UTF-16)");
}

// The log's texts: English (US) asked first, then the user's language where Windows has no
// English one, then the code.
TEST(OsErrorText, EnglishWhereTheSystemHasItThenTheUsersThenTheCode) {
    fake::FakePlatform fake;
    fake.system_text.messages[5] = u"Zugriff verweigert\r\n";
    fake.system_text.english_messages[5] = u"Access is denied.\r\n";
    EXPECT_EQ(english_os_error_text(fake.system_text, 5), "Access is denied. (os error 5)");
    EXPECT_EQ(fake.system_text.calls.back().language, 0x0409u);
    EXPECT_EQ(os_error_text(fake.system_text, 5), "Zugriff verweigert (os error 5)");
    fake.system_text.english_messages.clear();
    EXPECT_EQ(english_os_error_text(fake.system_text, 5), "Zugriff verweigert (os error 5)");
    EXPECT_EQ(fake.system_text.calls.back().language, 0u);
    EXPECT_EQ(english_os_error_text(fake.system_text, 99999), "OS Error 99999 (FormatMessageW() returned error 317)");
}

TEST(ComErrorText, PrefersTheErrorInformationDescription) {
    fake::FakePlatform fake;
    EXPECT_EQ(com_error_text(fake.system_text, platform::ComError{platform::codes::kEFail, u"Disk is offline.\r\n"}),
              "Disk is offline.");
    EXPECT_EQ(com_error_text(fake.system_text, platform::ComError{platform::codes::kEFail, {}}),
              "Unspecified error");
    EXPECT_EQ(com_error_text(fake.system_text, static_cast<platform::HResult>(0x8000FFFFu)), "Error 0x8000FFFF");
}

TEST(ComErrorText, AnUnknownCodeShowsEightHexDigits) {
    fake::FakePlatform fake;
    const std::pair<std::uint32_t, const char*> table[] = {
        {0x0000ABCDu, "Error 0x0000ABCD"},
        {0x00000001u, "Error 0x00000001"},
        {0xFEDCBA98u, "Error 0xFEDCBA98"},
    };
    for (const auto& [code, expected] : table) {
        EXPECT_EQ(com_error_text(fake.system_text, static_cast<platform::HResult>(code)), expected);
    }
}

TEST(ComErrorText, Win32CodesBecomeHresults) {
    EXPECT_EQ(static_cast<std::uint32_t>(hresult_from_win32(5)), 0x80070005u);
    EXPECT_EQ(static_cast<std::uint32_t>(hresult_from_win32(0x12345)), 0x80072345u);
    EXPECT_EQ(hresult_from_win32(0), 0);
    fake::FakePlatform fake;
    EXPECT_EQ(com_error_text(fake.system_text, hresult_from_win32(5)), "Access is denied.");
}

}  // namespace
}  // namespace plinth
