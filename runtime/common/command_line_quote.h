// Arguments written into a Windows command line so that the program started with it reads them
// back exactly (split_command_line's rules, which are CommandLineToArgvW's and the C runtime's).
#pragma once

#include <string>
#include <string_view>

namespace plinth {

// Appends a space and the argument: as it is when it has no space, tab or quote and isn't empty;
// otherwise in quotes, each quote inside escaped and the backslashes before a quote (or before
// the closing one) doubled.
void append_argument(std::u16string& line, std::u16string_view argument);

}  // namespace plinth
