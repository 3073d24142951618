// The command line as CommandLineToArgvW hands it over: arbitrary UTF-16 units, possibly
// unpaired surrogates, split at zero units into arguments.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "entry/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::u16string> arguments(1);
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (unit == 0) {
            arguments.emplace_back();
        } else {
            arguments.back().push_back(unit);
        }
    }
    const auto options = plinth::parse_command_line(arguments);
    (void)options;
    return 0;
}
