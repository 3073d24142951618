#include "entry/interactive_run.h"

#include <optional>
#include <string>
#include <utility>

#include "dialog/dialog_config.h"
#include "dialog/pages.h"
#include "entry/exit_code.h"
#include "locations/install_folder.h"
#include "registry/uninstall_entry.h"

namespace plinth {
namespace {

DialogPage first_page(platform::Platform& platform, SetupState& state) {
    // A removal asks nothing of the registry: the page reads the same whatever is installed.
    if (state.remove_mode) return remove_page(state.manifest, state.texts);
    state.recorded = recorded_install(platform, state.manifest.id);
    return install_page(state.manifest, state.recorded->version, install_folder(platform, state.manifest, nullptr, state.chosen_folder), state.texts);
}

// Starts the installed app without waiting for it; a failure changes nothing about the run.
void open_installed_app(platform::Platform& platform, const SetupState& state) {
    const Path app = join_path(install_folder(platform, state.manifest), to_utf16(state.manifest.exe));
    platform::ProcessStart start;
    start.application = app;
    // The program's own path as its first argument, quoted as Windows programs expect; no more.
    // Appended to the empty line, not assigned: GCC 12 takes the assignment for an overlapping copy.
    start.command_line += u'"';
    start.command_line += app;
    start.command_line += u'"';
    (void)platform.processes.start(start);
}

}  // namespace

std::int32_t show_first_page(platform::Platform& platform, SetupState& state, DialogPage&& page) {
    const platform::DialogConfig config = keep_page(platform, state.pages, std::move(page), &state);
    std::int32_t pressed = 0;
    // A dialog that can't be shown counts as one closed before anything ran.
    if (platform.dialogs.show(config, &pressed) < 0) pressed = 0;
    return pressed;
}

int run_interactive(platform::Platform& platform, SetupState& state) {
    if (show_first_page(platform, state, first_page(platform, state)) == kOpenButton) open_installed_app(platform, state);
    if (state.done) return exit_code_value(ExitCode::completed);
    if (state.failed) return exit_code_value(ExitCode::failed);
    return exit_code_value(ExitCode::cancelled);
}

}  // namespace plinth
