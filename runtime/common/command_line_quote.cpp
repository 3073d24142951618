#include "common/command_line_quote.h"

namespace plinth {

void append_argument(std::u16string& line, std::u16string_view argument) {
    line += u' ';
    if (!argument.empty() && argument.find_first_of(u" \t\"") == std::u16string_view::npos) {
        line += argument;
        return;
    }
    line += u'"';
    std::size_t backslashes = 0;
    for (char16_t c : argument) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes stand for themselves unless a quote follows them.
        if (c == u'"') backslashes = backslashes * 2 + 1;
        line.append(backslashes, u'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, u'\\');
    line += u'"';
}

}  // namespace plinth
