#include "locations/folder_name.h"

#include <gtest/gtest.h>

#include "common/text.h"

namespace plinth {
namespace {

TEST(FolderName, Table) {
    struct Case {
        std::string name;
        std::string expected;
    };
    const Case cases[] = {
        {"Notes", "Notes"},
        {"CON", "CON"},
        {"My App.", "My App"},
        {"Tools...", "Tools"},
        {"A/B:C?", "ABC"},
        {"<>:\"/\\|?*X", "X"},
        {"Tab\tInside", "TabInside"},
        {"Draw .", "Draw "},
        {"v1.2 Editor", "v1.2 Editor"},
        {". Dot first", ". Dot first"},
        {"  padded  ", "padded"},
        {"\xC2\xA0" "Nbsp\xC2\xA0", "Nbsp"},
        {"\xE3\x80\x80" "Wide\xE3\x80\x80", "Wide"},
        {"In\xC2\xA0side\xE3\x80\x80kept", "In\xC2\xA0side\xE3\x80\x80kept"},
        {"\xE2\x80\xAF" "x\xE2\x81\x9F", "x"},              // U+202F, U+205F
        {"\xE1\x9A\x80" "x\xE2\x80\xA8\xE2\x80\xA9", "x"},  // U+1680, U+2028, U+2029
        {"\xE2\x80\x8A" "x\xE2\x80\x80", "x"},              // U+200A, U+2000
        {"\xE2\x80\x8B" "x", "\xE2\x80\x8B" "x"},           // U+200B is not white space
        {"C1\xC2\x80\xC2\x85\xC2\x9F" "ok", "C1ok"},        // U+0080, U+0085, U+009F are controls
        {"\xC2\xA1" "x", "\xC2\xA1" "x"},                   // U+00A1 just past the C1 block
        {"Del\x7F" "ete", "Delete"},
        {"~ tilde", "~ tilde"},
        {"x.\x01", "x"},                                    // dropped control, then full stop
        {"x. ", "x"},                                       // trimmed first, then the full stop
        {"x .\t", "x "},
        {"Emoji \xF0\x9F\x98\x80", "Emoji \xF0\x9F\x98\x80"},
        {" \xFF" "a. ", "\xEF\xBF\xBD" "a"},                 // a malformed byte is U+FFFD, kept like a letter
        {std::string("Nul\0Byte", 8), "NulByte"},
        {"", "App"},
        {"   ", "App"},
        {"...", "App"},
        {" . . ", ". "},  // trimmed once only: the space before the last stop stays
        {"\xC2\xA0\xE3\x80\x80", "App"},
        {"<>|", "App"},
        {"\t\n\r", "App"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(folder_name(c.name), c.expected);
    }
}

TEST(FolderName, MalformedUtf8DoesNotCrashAndYieldsValidText) {
    const std::string inputs[] = {"\xFF", "ab\xC3", "\xED\xA0\x80", "\xC0\xAF" "x", "\x80\x80."};
    for (const std::string& input : inputs) {
        const std::string name = folder_name(input);
        EXPECT_FALSE(name.empty());
        EXPECT_TRUE(is_valid_utf8(name)) << name;
    }
}

}  // namespace
}  // namespace plinth
