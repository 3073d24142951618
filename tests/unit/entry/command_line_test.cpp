#include "entry/command_line.h"

#include <gtest/gtest.h>

namespace plinth {
namespace {

struct CommandLineCase {
    const char* label;
    std::vector<std::u16string> arguments;  // after the program path
    bool silent;
    bool remove_mode;
};

class CommandLine : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLine, SetsTheRunOptions) {
    std::vector<std::u16string> arguments{u"C:\\Setup.exe"};
    arguments.insert(arguments.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    const RunOptions options = parse_command_line(arguments);
    EXPECT_EQ(options.silent, GetParam().silent);
    EXPECT_EQ(options.remove_mode, GetParam().remove_mode);
}

const std::u16string kLoneSurrogate(1, static_cast<char16_t>(0xD800));

INSTANTIATE_TEST_SUITE_P(
    Entry, CommandLine,
    testing::Values(
        CommandLineCase{"no_arguments", {}, false, false},
        CommandLineCase{"upper_s", {u"/S"}, true, false},
        CommandLineCase{"lower_s", {u"/s"}, true, false},
        CommandLineCase{"double_dash_silent_any_case", {u"--SiLeNt"}, true, false},
        CommandLineCase{"uninstall_then_s", {u"/uninstall", u"/S"}, true, true},
        CommandLineCase{"s_then_upper_uninstall", {u"/S", u"/UNINSTALL"}, true, true},
        CommandLineCase{"double_dash_uninstall", {u"--Uninstall"}, false, true},
        CommandLineCase{"unknown_beside_silent", {u"/s", u"/?"}, true, false},
        CommandLineCase{"repeated", {u"/s", u"/s", u"--uninstall", u"/uninstall"}, true, true},
        CommandLineCase{"dash_s", {u"-s"}, false, false},
        CommandLineCase{"slash_silent", {u"/silent"}, false, false},
        CommandLineCase{"uninstall_with_value", {u"--uninstall=yes"}, false, false},
        CommandLineCase{"switch_with_space", {u"/s "}, false, false},
        CommandLineCase{"two_switches_in_one_argument", {u"/s /uninstall"}, false, false},
        CommandLineCase{"long_s_not_folded", {u"/\u017F"}, false, false},
        CommandLineCase{"kelvin_sign_not_folded", {u"--uninstall\u212A"}, false, false},
        CommandLineCase{"lone_surrogate", {kLoneSurrogate, u"/s" + kLoneSurrogate}, false, false},
        CommandLineCase{"lone_surrogate_beside_switch", {kLoneSurrogate, u"/UnInstall"}, false, true},
        CommandLineCase{"empty_argument", {u""}, false, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CommandLine, LogKeepsItsFileAsWritten) {
    const auto log_of = [](std::u16string argument) { return parse_command_line({u"C:\\Setup.exe", argument}); };
    EXPECT_EQ(log_of(u"/LOG=C:\\Temp\\My Setup.LOG").log, u"C:\\Temp\\My Setup.LOG");
    EXPECT_EQ(log_of(u"--Log=setup.log").log, u"setup.log");
    EXPECT_EQ(log_of(u"/log=/log=x").log, u"/log=x");
    EXPECT_TRUE(log_of(u"/log=").log_without_file);
    EXPECT_FALSE(log_of(u"/log").log);
    EXPECT_FALSE(log_of(u"/logfile=x").log);
    EXPECT_FALSE(log_of(u"-log=x").log);
    // The last one counts.
    const RunOptions twice = parse_command_line({u"C:\\Setup.exe", u"/log=", u"/log=b.log"});
    EXPECT_EQ(twice.log, u"b.log");
    EXPECT_FALSE(twice.log_without_file);
}

TEST(CommandLine, EachSpellingSetsItsOwnFlagAlone) {
    const struct {
        const char16_t* argument;
        int flag;  // silent, remove_mode, check_update, update, restart, close_app; -1 none
    } cases[] = {
        {u"--silent", 0}, {u"/S", 0},         {u"--uninstall", 1}, {u"/Uninstall", 1},   {u"--check-update", 2},
        {u"/CHECK-UPDATE", 2}, {u"--update", 3}, {u"/update", 3},  {u"--Restart", 4},     {u"/restart", 4},
        {u"--close-app", 5}, {u"/Close-App", 5}, {u"/close", -1},
        {u"/check", -1},   {u"--s", -1},      {u"/update-", -1},   {u"--check-updates", -1}, {u"/", -1},
    };
    for (const auto& c : cases) {
        const RunOptions options = parse_command_line({u"C:\\Setup.exe", c.argument});
        const bool flags[] = {options.silent, options.remove_mode, options.check_update, options.update,
                              options.restart, options.close_app};
        for (int flag = 0; flag < 6; ++flag) {
            EXPECT_EQ(flags[flag], flag == c.flag) << "case " << (&c - cases) << ", flag " << flag;
        }
    }
}

TEST(CommandLine, ProgramPathIsNeverASwitch) {
    EXPECT_FALSE(parse_command_line({u"/s"}).silent);
    EXPECT_FALSE(parse_command_line({u"/uninstall", u"x"}).remove_mode);
    EXPECT_FALSE(parse_command_line({}).silent);
}

}  // namespace
}  // namespace plinth
