// The packer's command line: a command (build, raw, inspect, feed) and its options.
//
// Options are written "--name value" or "--name=value"; each at most once; flags ("--quiet")
// take no value. "--help" or "-h" anywhere before "--" asks for the command's help, and "--"
// ends the options. A value that is itself one of the command's options ("--out --quiet") is
// taken for a forgotten value; "--out=--quiet" names such a file.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace plinth::pack {

struct CommandLine {
    std::string command;                        // "build", "raw" or "inspect"
    bool help = false;                          // the command's help was asked for
    std::map<std::string, std::string> values;  // "--out" -> "Setup.exe"
    std::set<std::string> flags;                // "--quiet"
    std::vector<std::string> positional;

    bool has(const std::string& name) const { return values.contains(name) || flags.contains(name); }
};

// Whether `name` is one of the packer's commands.
bool is_command(std::string_view name);

// The command's arguments (after the command's name) checked against its options: unknown
// options, missing values, options given twice, missing required options and unexpected
// arguments are refused with the usage error's text. Help skips the other checks.
Expected<CommandLine, std::string> parse_command_line(std::string_view command, const std::vector<std::string>& args);

// The command's own help: its synopsis and every option.
std::string command_help(std::string_view command);

}  // namespace plinth::pack
