#include "entry/command_line.h"

#include "common/text.h"

namespace plinth {

namespace {

// Each flag's two spellings, in the order of the flags in parse_command_line, each ended by a NUL:
// one comparison in a loop rather than ten at their own call sites.
constexpr char16_t kSwitches[] = u"--silent\0/s\0--uninstall\0/uninstall\0--check-update\0/check-update\0"
                                 u"--update\0/update\0--restart\0/restart\0--close-app\0/close-app";

}  // namespace

RunOptions parse_command_line(const std::vector<std::u16string>& arguments) {
    RunOptions options;
    bool* const flags[] = {&options.silent, &options.remove_mode, &options.check_update, &options.update,
                           &options.restart, &options.close_app};
    // Compared as UTF-16 units: an unpaired surrogate simply never equals a switch.
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::u16string argument = ascii_lower(arguments[i]);
        const char16_t* spelling = kSwitches;
        for (bool* flag : flags) {
            for (int k = 0; k < 2; ++k) {
                if (argument == spelling) *flag = true;
                while (*spelling++ != u'\0') {
                }
            }
        }
        if (const std::size_t url_at = argument.starts_with(u"/feed=") ? 6 : argument.starts_with(u"--feed=") ? 7 : 0) {
            options.feed = arguments[i].substr(url_at);
        }
        const std::size_t file_at = argument.starts_with(u"/log=") ? 5 : argument.starts_with(u"--log=") ? 6 : 0;
        if (file_at != 0) {
            options.log = arguments[i].substr(file_at);
            options.log_without_file = file_at == argument.size();
        }
        const std::size_t folder_at = argument.starts_with(u"/dir=") ? 5 : argument.starts_with(u"--dir=") ? 6 : 0;
        if (folder_at != 0) {
            options.folder = arguments[i].substr(folder_at);
            options.dir_without_path = folder_at == argument.size();
        }
    }
    return options;
}

}  // namespace plinth
