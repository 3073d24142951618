// A Windows command line split into its arguments, by the rules of CommandLineToArgvW.
//
// The splitting is done here rather than by shell32, whose loading (and with it user32's) would
// cost every run of the installer more start-up time than a run that fails early spends working.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plinth {

// The program comes first: up to the next quote when the line starts with one, else up to the
// first space or tab; backslashes and other quotes mean nothing there. Then each argument runs
// to the next space or tab outside quotes. 2n backslashes before a quote stand for n
// backslashes, and the quote opens or closes a quoted part; 2n+1 stand for n backslashes and a
// literal quote; backslashes before anything else stand as they are. A quote that would close a
// part and is followed by another quote makes with it one literal quote, and the part ends
// (`"a""b c"` gives a"b and c). An empty line gives no arguments at all: CommandLineToArgvW
// gives the program's own path then, which the caller has to ask Windows for.
std::vector<std::u16string> split_command_line(std::u16string_view line);

}  // namespace plinth
