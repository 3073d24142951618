#include "hooks/app_hooks.h"

#include <string>
#include <vector>

#include "common/command_line_quote.h"
#include "log/run_log.h"
#include "system_error/error_text.h"

namespace plinth {
namespace {

constexpr platform::ErrorCode kWaitTimeout = 258;  // WAIT_TIMEOUT

// "Hook installed", "Hook updated", "Hook removing": the start of each of a hook's log lines.
std::string hook_phrase(HookKind kind, const char* rest) {
    static constexpr const char* kNames[] = {"Hook installed", "Hook updated", "Hook removing"};
    return concat({kNames[static_cast<int>(kind)], rest});
}

std::uint32_t milliseconds_of_day(const platform::LocalTime& time) {
    return ((time.hour * 60 + time.minute) * 60 + time.second) * 1000 + time.millisecond;
}

// "412 ms": the wall-clock time between two readings, a run across midnight included.
std::string elapsed_text(const platform::LocalTime& start, const platform::LocalTime& end) {
    const std::uint32_t from = milliseconds_of_day(start);
    const std::uint32_t to = milliseconds_of_day(end);
    return concat({decimal_text(to >= from ? to - from : to + 24 * 60 * 60 * 1000 - from), " ms"});
}

}  // namespace

std::optional<std::uint32_t> run_app_hook(platform::Platform& platform, const AppManifest& manifest, const Path& folder,
                                          const Path& app_path, HookKind kind, std::optional<std::string_view> from) {
    const auto& arguments = kind == HookKind::installed ? manifest.hooks.installed
                            : kind == HookKind::updated ? manifest.hooks.updated
                                                        : manifest.hooks.removing;
    if (!arguments) return std::nullopt;
    Log& log = *platform.log;
    const auto info = platform.files.metadata(app_path);
    if (!info || info->is_folder) {
        log.write(hook_phrase(kind, " not run: the app isn't in"), folder);
        return std::nullopt;
    }

    platform::ProcessStart start;
    start.application = app_path;
    start.command_line = u"\"" + app_path + u"\"";
    for (const std::string& argument : *arguments) append_argument(start.command_line, to_utf16(argument));
    append_argument(start.command_line, to_utf16("--plinth-version=" + manifest.version));
    if (from) append_argument(start.command_line, to_utf16("--plinth-from=" + std::string(*from)));
    start.current_directory = folder;
    start.hidden = true;

    log.write(hook_phrase(kind, " started:"), start.command_line);
    const platform::LocalTime began = platform.session.local_time();
    const auto exit_code = platform.processes.run_at_most(start, kHookTimeoutMs);
    const std::string took = elapsed_text(began, platform.session.local_time());
    if (exit_code) {
        log.write(hook_phrase(kind, " exited with code"), concat({decimal_text(*exit_code), " after ", took}));
        return *exit_code;
    }
    if (exit_code.error() == kWaitTimeout) {
        log.write(hook_phrase(kind, " didn't finish in 30 s and was ended after"), took);
    } else {
        log.write(hook_phrase(kind, " couldn't start:"), english_os_error_text(platform.system_text, exit_code.error()));
    }
    return std::nullopt;
}

}  // namespace plinth
