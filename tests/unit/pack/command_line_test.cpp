#include "command_line.h"

#include <gtest/gtest.h>

#include "progress_line.h"

namespace plinth::pack {
namespace {

const std::vector<std::string> kBuild = {"--manifest", "app.json", "--app", "A.exe", "--out", "S.exe"};

std::vector<std::string> build_with(std::vector<std::string> more) {
    std::vector<std::string> args = kBuild;
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(PackCommandLine, BothFormsOfAValueAndTheFlags) {
    auto line = parse_command_line("build", {"--manifest=app.json", "--app", "A.exe", "--out=dist/My=Setup.exe",
                                             "--quiet", "--warnings-as-errors", "--icon=", "x"});
    EXPECT_FALSE(line.ok()) << "an empty value";

    line = parse_command_line("build", {"--manifest=app.json", "--app", "A.exe", "--out=dist/My=Setup.exe", "--quiet",
                                        "--warnings-as-errors", "--stub=--odd.exe", "--compressor", "zlib"});
    ASSERT_TRUE(line.ok()) << line.error();
    EXPECT_EQ(line->values, (std::map<std::string, std::string>{{"--manifest", "app.json"},
                                                               {"--app", "A.exe"},
                                                               {"--out", "dist/My=Setup.exe"},
                                                               {"--stub", "--odd.exe"},
                                                               {"--compressor", "zlib"}}));
    EXPECT_EQ(line->flags, (std::set<std::string>{"--quiet", "--warnings-as-errors"}));
    EXPECT_FALSE(line->help);

    line = parse_command_line("inspect", {"--", "--odd name.exe"});
    ASSERT_TRUE(line.ok()) << line.error();
    EXPECT_EQ(line->positional, std::vector<std::string>{"--odd name.exe"});
    line = parse_command_line("raw", {"--package", "-", "--out", "S.exe"});
    ASSERT_TRUE(line.ok()) << line.error();
    EXPECT_EQ(line->values.at("--package"), "-");
}

TEST(PackCommandLine, HelpWinsOverEverythingBeforeTheEndOfOptions) {
    for (const auto& [command, args] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"build", {"--help"}}, {"build", {"--manifest", "x", "-h"}}, {"build", {"--bogus", "--help"}},
             {"inspect", {"--help"}}, {"raw", {"-h"}}}) {
        auto line = parse_command_line(command, args);
        ASSERT_TRUE(line.ok()) << command;
        EXPECT_TRUE(line->help) << command;
        EXPECT_NE(command_help(command).find("Usage: plinth-pack " + command), std::string::npos);
    }
    auto after = parse_command_line("inspect", {"--", "--help"});
    ASSERT_TRUE(after.ok());
    EXPECT_FALSE(after->help);
    // Every option a command takes is in its help.
    for (const char* option : {"--manifest", "--app", "--out", "--icon", "--stub", "--compressor", "--quiet",
                               "--warnings-as-errors"}) {
        EXPECT_NE(command_help("build").find(option), std::string::npos) << option;
    }
    for (const char* option : {"--package", "--out", "--stub", "--quiet"}) {
        EXPECT_NE(command_help("raw").find(option), std::string::npos) << option;
    }
    for (const char* option : {"--installer", "--url", "--package-id", "--license", "--short-description", "--out"}) {
        EXPECT_NE(command_help("winget").find(option), std::string::npos) << option;
    }
    EXPECT_NE(command_help("inspect").find("--notices"), std::string::npos);
    EXPECT_NE(command_help("build").find("--app FILE|FOLDER"), std::string::npos);
}

TEST(PackCommandLine, MistakesAreRefusedWithTheirReason) {
    const std::tuple<std::string, std::vector<std::string>, std::string> table[] = {
        {"build", build_with({"--bogus", "1"}), "unknown option --bogus (build --help lists its options)"},
        {"build", build_with({"--bogus=1"}), "unknown option --bogus (build --help lists its options)"},
        {"build", build_with({"-q"}), "unknown option -q"},
        {"build", build_with({"--package", "p"}), "unknown option --package (build --help lists its options)"},
        {"raw", {"--package", "p", "--out", "o", "--warnings-as-errors"}, "unknown option --warnings-as-errors (raw --help lists its options)"},
        {"build", build_with({"--app", "B.exe"}), "--app is given twice"},
        {"build", build_with({"--app=B.exe"}), "--app is given twice"},
        {"build", build_with({"--quiet", "--quiet"}), "--quiet is given twice"},
        {"build", build_with({"--quiet=yes"}), "--quiet takes no value"},
        {"build", build_with({"--icon"}), "--icon needs a value"},
        {"build", build_with({"--icon="}), "--icon needs a value"},
        {"build", {"--manifest", "--app", "A.exe", "--out", "S.exe"}, "--manifest needs a value"},
        {"build", {"--manifest", "--app=A.exe", "--out", "S.exe"}, "--manifest needs a value"},
        {"build", {"--manifest", "--", "x"}, "--manifest needs a value"},
        {"build", {"--app", "A.exe", "--out", "S.exe"}, "missing --manifest"},
        {"build", {"--manifest", "m", "--app", "A.exe"}, "missing --out"},
        {"build", build_with({"extra"}), "unexpected argument extra"},
        {"build", build_with({"--", "--quiet"}), "unexpected argument --quiet"},
        {"inspect", {}, "inspect takes one installer file"},
        {"inspect", {"a.exe", "b.exe"}, "inspect takes one installer file"},
        {"inspect", {"--out", "a.exe"}, "unknown option --out (inspect --help lists its options)"},
        {"winget", {"--installer", "S.exe", "--url", "https://x/S.exe", "--package-id", "A.B", "--license", "MIT"},
         "missing --short-description"},
        {"frobnicate", {}, "unknown command frobnicate"},
    };
    for (const auto& [command, args, says] : table) {
        auto line = parse_command_line(command, args);
        ASSERT_FALSE(line.ok()) << says;
        EXPECT_EQ(line.error(), says);
    }
    EXPECT_TRUE(is_command("build") && is_command("raw") && is_command("inspect") && is_command("winget"));
    EXPECT_FALSE(is_command("help") || is_command("--build") || is_command("Build"));
}

TEST(ProgressText, PerCentAndSpeedWhereTheCompressorTellsThem) {
    EXPECT_EQ(progress_text("zlib", 22'500'000, 50'000'000, true, 2.0), "compressing with zlib: 45% of 50.0 MB, 11.2 MB/s");
    EXPECT_EQ(progress_text("zlib", 0, 50'000'000, true, 0.0), "compressing with zlib: 0% of 50.0 MB");
    EXPECT_EQ(progress_text("zlib", 49'999'999, 50'000'000, true, 1.0), "compressing with zlib: 99% of 50.0 MB, 50.0 MB/s");
    EXPECT_EQ(progress_text("zlib", 50'000'000, 50'000'000, true, 4.0),
              "compressed 50.0 MB with zlib, 12.5 MB/s; checking the stream");
    EXPECT_EQ(progress_text("zlib", 0, 0, true, 0.0), "compressed 0.0 MB with zlib; checking the stream");
    EXPECT_EQ(progress_text("zopfli", 0, 26'704'968, false, 12.7), "compressing with zopfli: 26.7 MB, 12 s so far");
    EXPECT_EQ(progress_text("zopfli", 26'704'968, 26'704'968, false, 20.0),
              "compressed 26.7 MB with zopfli, 1.3 MB/s; checking the stream");
}

}  // namespace
}  // namespace plinth::pack

namespace plinth::pack {
namespace {

TEST(PackCommandLine, FeedAddsWithdrawsOrRollsOutOneRelease) {
    const struct {
        std::vector<std::string> args;
        const char* error;  // null: accepted
    } cases[] = {
        {{"--feed", "f.json", "--installer", "S.exe", "--rollout", "0", "--allow-signer-change"}, nullptr},
        {{"--feed", "f.json", "--withdraw", "1.2"}, nullptr},
        {{"--feed", "f.json", "--release", "1.2", "--rollout", "100"}, nullptr},
        {{"--feed", "f.json"}, "feed takes one of --installer, --withdraw and --release"},
        {{"--feed", "f.json", "--installer", "S.exe", "--withdraw", "1.2"}, "feed takes one of"},
        {{"--feed", "f.json", "--release", "1.2"}, "--release needs --rollout"},
        {{"--feed", "f.json", "--withdraw", "1.2", "--notes", "x"}, "--notes goes with --installer"},
        {{"--feed", "f.json", "--withdraw", "1.2", "--rollout", "5"}, "--rollout doesn't go with --withdraw"},
        {{"--feed", "f.json", "--installer", "S.exe", "--rollout", "101"}, "--rollout takes a percentage from 0 to 100, not 101"},
        {{"--feed", "f.json", "--installer", "S.exe", "--rollout", "5%"}, "--rollout takes a percentage"},
        {{"--feed", "f.json", "--installer", "S.exe", "--rollout", "0100"}, "--rollout takes a percentage"},
    };
    for (const auto& c : cases) {
        const auto line = parse_command_line("feed", c.args);
        if (c.error == nullptr) {
            EXPECT_TRUE(line.ok()) << c.args[2] << ": " << (line.ok() ? "" : line.error());
        } else {
            ASSERT_FALSE(line.ok()) << c.error;
            EXPECT_EQ(line.error().rfind(c.error, 0), 0u) << line.error();
        }
    }
    EXPECT_TRUE(parse_command_line("build", build_with({"--sign-command", "sign {file}"})).ok());
}

}  // namespace
}  // namespace plinth::pack
