#include "removal/self_deletion.h"

#include "log/run_log.h"

namespace plinth {
namespace {

constexpr std::uint32_t kCreateNoWindow = 0x08000000;
constexpr std::uint32_t kCreateUnicodeEnvironment = 0x00000400;

// The path between double quotes, as cmd.exe must read it: a literal text.
std::optional<std::u16string> quoted_for_cmd(std::u16string_view path) {
    std::u16string quoted = u"\"";
    for (char16_t unit : path) {
        if (unit == u'"' || unit < 0x20) return std::nullopt;
        quoted.push_back(unit);
        // An empty pair of quotes after each percent sign: every %...% pair cmd.exe looks up
        // then names a variable beginning with two quotes, which no environment defines, so the
        // text stays as it is; del and rmdir drop the quotes.
        if (unit == u'%') quoted += u"\"\"";
    }
    quoted.push_back(u'"');
    return quoted;
}

}  // namespace

std::optional<std::u16string> self_deletion_command(const Path& folder) {
    auto uninstaller = quoted_for_cmd(join_path(folder, u"uninstall.exe"));
    auto quoted_folder = quoted_for_cmd(folder);
    if (!uninstaller || !quoted_folder) return std::nullopt;
    return u"ping -n 3 127.0.0.1 > nul & del /f /q " + *uninstaller + u" & rmdir " + *quoted_folder;
}

void start_self_deletion(platform::Platform& platform, const Path& folder) {
    auto command = self_deletion_command(folder);
    if (!command) return platform.log->write("No self-deletion: cmd.exe can't be given the folder", folder);
    platform::ProcessStart start;
    // The system's own cmd.exe, run in the system folder. The usual program search would look in
    // the uninstaller's folder first (a downloads folder, say, where a planted cmd.exe would
    // run), cmd.exe looks for ping in its current folder first, and a current folder inside
    // the install folder would keep rmdir from removing it. Should the system folder be
    // unknown, the usual search is still better than leaving everything behind.
    if (auto system = platform.processes.system_folder()) {
        start.application = join_path(*system, u"cmd.exe");
        start.current_directory = *system;
    }
    // /d: no AutoRun commands of the user's Command Processor settings run first. /v:off: with
    // delayed expansion switched on there, a folder named "Notes!Pro!" would read as "Notes" and
    // del would name another folder's uninstall.exe.
    start.command_line = u"\"cmd.exe\" /d /v:off /c " + *command;
    start.creation_flags = kCreateNoWindow | kCreateUnicodeEnvironment;
    start.inherit_handles = true;
    // Nothing to do about a failure: the removal has succeeded, only the leftovers stay.
    if (const platform::ErrorCode code = platform.processes.start(start); code != platform::codes::kSuccess) {
        return platform.log->failed(platform, "Can't start the self-deletion of", folder, code);
    }
    platform.log->write("Started the self-deletion of", folder);
}

}  // namespace plinth
