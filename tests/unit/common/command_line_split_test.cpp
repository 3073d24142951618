#include "common/command_line_quote.h"
#include "common/command_line_split.h"

#include <gtest/gtest.h>

#include "common/text.h"

namespace plinth {
namespace {

struct SplitCase {
    const char16_t* line;
    std::vector<std::u16string> arguments;
};

class CommandLineSplit : public testing::TestWithParam<SplitCase> {};

TEST_P(CommandLineSplit, SplitsAsWindowsDoes) {
    EXPECT_EQ(split_command_line(GetParam().line), GetParam().arguments) << "line: "
        << to_utf8(GetParam().line);
}

// The program's own path: quotes end it, nothing escapes in it.
INSTANTIATE_TEST_SUITE_P(Program, CommandLineSplit, testing::Values(
    SplitCase{u"", {}},
    SplitCase{u"setup.exe", {u"setup.exe"}},
    SplitCase{u"\"C:\\Program Files\\Setup.exe\" /S", {u"C:\\Program Files\\Setup.exe", u"/S"}},
    SplitCase{u"\"C:\\dir\\\"x y", {u"C:\\dir\\", u"x", u"y"}},
    SplitCase{u"\"prog\"x y", {u"prog", u"x", u"y"}},
    SplitCase{u"a\"b c\"d e", {u"a\"b", u"cd e"}},
    SplitCase{u"\" a b", {u" a b"}},
    SplitCase{u"\"\" x", {u"", u"x"}},
    SplitCase{u" x y", {u"", u"x", u"y"}},
    SplitCase{u"p\tx", {u"p", u"x"}}));

// The arguments after it: blanks, quotes and backslashes.
INSTANTIATE_TEST_SUITE_P(Arguments, CommandLineSplit, testing::Values(
    SplitCase{u"p  /S \t--uninstall  ", {u"p", u"/S", u"--uninstall"}},
    SplitCase{u"p   ", {u"p"}},
    SplitCase{u"p \"two words\" x", {u"p", u"two words", u"x"}},
    SplitCase{u"p \"a\tb\"", {u"p", u"a\tb"}},
    SplitCase{u"p a\nb", {u"p", u"a\nb"}},
    SplitCase{u"p a\"b\"c", {u"p", u"abc"}},
    SplitCase{u"p \"unclosed part", {u"p", u"unclosed part"}},
    SplitCase{u"p \"\"", {u"p", u""}},
    SplitCase{u"p \"\" \"\"", {u"p", u"", u""}},
    SplitCase{u"p \"\"\"", {u"p", u"\""}},
    SplitCase{u"p \"\"\"\"", {u"p", u"\""}},
    SplitCase{u"p \"\"\"\" x", {u"p", u"\" x"}},
    SplitCase{u"p \"a\"\"b c\"", {u"p", u"a\"b", u"c"}},
    SplitCase{u"p \"say \\\"hi\\\"\"", {u"p", u"say \"hi\""}},
    SplitCase{u"p \\\"", {u"p", u"\""}},
    SplitCase{u"p \\\"\" x", {u"p", u"\" x"}},
    SplitCase{u"p a\\\\\\\"b", {u"p", u"a\\\"b"}},
    SplitCase{u"p a\\\\\"b c\"", {u"p", u"a\\b c"}},
    SplitCase{u"p a\\b\\\\c\\", {u"p", u"a\\b\\\\c\\"}},
    SplitCase{u"p \"trailing\\\\\"", {u"p", u"trailing\\"}},
    SplitCase{u"p \"C:\\Program Files\\App\\\\\" /S", {u"p", u"C:\\Program Files\\App\\", u"/S"}}));

TEST(CommandLineSplitUnits, KeepsEveryUnitAsItIs) {
    // An unpaired surrogate and characters outside the BMP pass through unchanged.
    const std::u16string line = u"p \xD800x \"\xDC00 \U0001F600\"";
    EXPECT_EQ(split_command_line(line),
              (std::vector<std::u16string>{u"p", u"\xD800x", u"\xDC00 \U0001F600"}));
}

// What is quoted comes back whole as one argument, whatever quotes, backslashes and spaces it
// holds: a quote inside can't end it and start switches of its own.
TEST(QuotedArgument, SplitsBackToTheSameOneArgument) {
    for (const std::u16string argument :
         {u"/log=C:\\My Logs\\a.log", u"/log=C:\\x.log\" /uninstall \"x", u"/log=C:\\Logs\\", u"/log=C:\\Logs\\\\",
          u"a\\\"b", u"a\\\\\"b\\", u"\"", u"", u"\t \\\\\\"}) {
        std::u16string line = u"p";
        append_argument(line, argument);
        EXPECT_EQ(split_command_line(line), (std::vector<std::u16string>{u"p", argument})) << path_text(line);
    }
    std::u16string line = u"p";
    append_argument(line, u"C:\\x.log\" /uninstall \"x\\");
    EXPECT_EQ(line, u"p \"C:\\x.log\\\" /uninstall \\\"x\\\\\"");
}

}  // namespace
}  // namespace plinth
