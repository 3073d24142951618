#include "common/command_line_quote.h"

#include <gtest/gtest.h>

#include "common/command_line_split.h"
#include "common/text.h"

namespace plinth {
namespace {

// Whatever an argument holds, the program started with the line reads it back unchanged.
TEST(CommandLineQuote, EveryArgumentReadsBackAsWritten) {
    const std::vector<std::u16string> arguments = {
        u"plain", u"", u"two words", u"tab\there", u"say \"hi\"", u"\"", u"C:\\Program Files\\App\\",
        u"a\\\\\"b", u"trailing\\\\", u"\\\"", u"--plinth-version=1.0", u"caf\u00e9 \U0001F600"};
    std::u16string line = u"app.exe";
    for (const std::u16string& argument : arguments) append_argument(line, argument);
    std::vector<std::u16string> expected = {u"app.exe"};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(split_command_line(line), expected) << to_utf8(line);
}

TEST(CommandLineQuote, QuotesOnlyWhatNeedsIt) {
    std::u16string line = u"p";
    append_argument(line, u"/register");
    append_argument(line, u"C:\\a b\\");
    append_argument(line, u"");
    EXPECT_EQ(line, u"p /register \"C:\\a b\\\\\" \"\"");
}

}  // namespace
}  // namespace plinth
