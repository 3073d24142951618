#include "entry/command_line.h"

#include "common/text.h"

namespace plinth {

RunOptions parse_command_line(const std::vector<std::u16string>& arguments) {
    RunOptions options;
    // Compared as UTF-16 units: an unpaired surrogate simply never equals a switch.
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::u16string argument = ascii_lower(arguments[i]);
        if (argument == u"--silent" || argument == u"/s") options.silent = true;
        if (argument == u"--uninstall" || argument == u"/uninstall") options.remove_mode = true;
        if (argument == u"--check-update" || argument == u"/check-update") options.check_update = true;
        if (argument == u"--update" || argument == u"/update") options.update = true;
        if (argument == u"--restart" || argument == u"/restart") options.restart = true;
        const std::size_t file_at = argument.starts_with(u"/log=") ? 5 : argument.starts_with(u"--log=") ? 6 : 0;
        if (file_at != 0) {
            options.log = arguments[i].substr(file_at);
            options.log_without_file = file_at == argument.size();
        }
    }
    return options;
}

}  // namespace plinth
