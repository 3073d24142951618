#include "common/command_line_split.h"

namespace plinth {
namespace {

bool is_blank(char16_t unit) { return unit == u' ' || unit == u'\t'; }

// One argument after the program's own, from `at` up to the blank that ends it.
std::u16string next_argument(std::u16string_view line, std::size_t& at) {
    std::u16string argument;
    int quotes = 0;  // 1 inside a quoted part; 2 after a run's second quote
    while (at < line.size() && !(quotes == 0 && is_blank(line[at]))) {
        const char16_t unit = line[at];
        if (unit == u'\\') {
            std::size_t run = 0;
            while (at + run < line.size() && line[at + run] == u'\\') ++run;
            at += run;
            if (at < line.size() && line[at] == u'"') {
                argument.append(run / 2, u'\\');
                if (run % 2 == 1) {  // an escaped quote; a run of quotes may follow it
                    argument += u'"';
                    ++at;
                }
            } else {
                argument.append(run, u'\\');
            }
        } else if (unit == u'"') {
            while (at < line.size() && line[at] == u'"') {
                if (++quotes == 3) {
                    argument += u'"';
                    quotes = 0;
                }
                ++at;
            }
            if (quotes == 2) quotes = 0;
        } else {
            argument += unit;
            ++at;
        }
    }
    return argument;
}

}  // namespace

std::vector<std::u16string> split_command_line(std::u16string_view line) {
    std::vector<std::u16string> arguments;
    if (line.empty()) return arguments;

    std::size_t at = 0;
    if (line[0] == u'"') {
        const std::size_t close = line.find(u'"', 1);
        const std::size_t end = close == std::u16string_view::npos ? line.size() : close;
        arguments.push_back(std::u16string(line.substr(1, end - 1)));
        at = close == std::u16string_view::npos ? line.size() : close + 1;
    } else {
        while (at < line.size() && !is_blank(line[at])) ++at;
        arguments.push_back(std::u16string(line.substr(0, at)));
    }

    for (;;) {
        while (at < line.size() && is_blank(line[at])) ++at;
        if (at == line.size()) break;
        arguments.push_back(next_argument(line, at));
    }
    return arguments;
}

}  // namespace plinth
