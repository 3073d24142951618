// A raw command line as GetCommandLineW hands it over (arbitrary UTF-16 units, unpaired
// surrogates included), split into arguments and then read as the installer's options.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/command_line_split.h"
#include "entry/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string line;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        line.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    const std::vector<std::u16string> arguments = plinth::split_command_line(line);

    // Splitting only drops units (blanks, quotes, escaping backslashes): it never makes more,
    // and an empty argument after the program needs a quote in the line.
    if (line.empty() != arguments.empty()) std::abort();
    std::size_t units = 0;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        units += arguments[i].size();
        if (i > 0 && arguments[i].empty() && line.find(u'"') == std::u16string::npos) std::abort();
    }
    if (units > line.size()) std::abort();

    const auto options = plinth::parse_command_line(arguments);
    (void)options;
    return 0;
}
