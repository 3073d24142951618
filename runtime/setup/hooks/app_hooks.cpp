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
    // "Hook installed not run: ...": each line's phrase names the hook.
    const auto note = [&platform, kind](const char* rest, const auto& value) {
        platform.log->write(hook_phrase(kind, rest), value);
    };
    const auto info = platform.files.metadata(app_path);
    if (!info || info->is_folder) {
        note(" not run: the app isn't in", folder);
        return std::nullopt;
    }

    platform::ProcessStart start;
    start.application = app_path;
    // Appended to the empty line, not assigned: GCC 12 takes the assignment for an overlapping copy.
    start.command_line += u'"';
    start.command_line += app_path;
    start.command_line += u'"';
    const auto append = [&start](std::initializer_list<std::string_view> parts) {
        append_argument(start.command_line, to_utf16(concat(parts)));
    };
    for (const std::string& argument : *arguments) append_argument(start.command_line, to_utf16(argument));
    append({"--plinth-version=", manifest.version});
    if (from) append({"--plinth-from=", *from});
    start.current_directory = folder;
    start.hidden = true;

    note(" started:", start.command_line);
    const platform::LocalTime began = platform.session.local_time();
    const auto exit_code = platform.processes.run_and_wait(start, kHookTimeoutMs);
    const std::string took = elapsed_text(began, platform.session.local_time());
    if (exit_code) {
        note(" exited with code", concat({decimal_text(*exit_code), " after ", took}));
        return *exit_code;
    }
    if (exit_code.error() == kWaitTimeout) {
        note(" didn't finish in 30 s and was ended after", took);
    } else {
        note(" couldn't start:", english_os_error_text(platform.system_text, exit_code.error()));
    }
    return std::nullopt;
}

}  // namespace plinth
