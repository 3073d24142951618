// The command line: the only thing that tells a silent run from an interactive one, and a removal
// from an install.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plinth {

struct RunOptions {
    bool silent = false;       // "--silent" or "/s": no dialog, the operation runs at once
    bool remove_mode = false;  // "--uninstall" or "/uninstall": remove instead of install
    bool check_update = false;  // "--check-update" or "/check-update": ask the feed, change nothing
    bool update = false;        // "--update" or "/update": install the feed's newer version
    bool restart = false;       // "--restart" or "/restart", with update: start the app again after it
    bool close_app = false;     // "--close-app" or "/close-app": ask the running app to close first
    std::optional<std::u16string> log;  // "--log=FILE" or "/log=FILE": the install log's file
    bool log_without_file = false;      // "/log=" with nothing after it
    std::optional<std::u16string> feed;  // "--feed=URL" or "/feed=URL": another channel's feed
    std::optional<std::u16string> folder;  // "--dir=PATH" or "/dir=PATH": where a fresh install goes
    bool dir_without_path = false;         // "/dir=" with nothing after it
};

// `arguments` as the session gives them, the program's own path first (skipped). Each argument
// is compared whole after lower-casing ASCII letters only; order and repetition don't matter and
// everything else, including arguments that aren't valid UTF-16, is ignored. The file of /log=
// is taken as written (the last one counts); relative, it is relative to the current folder.
// The URL of /feed= too, the last one counting.
// The folder of /dir= is taken as written too (the last one counts); its rules are the install's.
RunOptions parse_command_line(const std::vector<std::u16string>& arguments);

}  // namespace plinth
