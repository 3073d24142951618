#include "entry/run.h"

#include <optional>
#include <string>
#include <utility>

#include "common/text.h"
#include "entry/command_line.h"
#include "entry/damaged_installer.h"
#include "entry/exit_code.h"
#include "entry/interactive_run.h"
#include "entry/log_target.h"
#include "entry/update_run.h"
#include "dialog/dialog_config.h"
#include "dialog/pages.h"
#include "locations/chosen_folder.h"
#include "locations/install_folder.h"
#include "locations/path_within.h"
#include "log/run_log.h"
#include "state/setup_state.h"
#include "operation/setup_operation.h"
#include "package/load_package.h"
#include "removal/self_deletion.h"
#include "texts/text_lookup.h"

namespace plinth {
namespace {

constexpr std::uint32_t kCoinitApartmentThreaded = 2;  // COINIT_APARTMENTTHREADED

// The removal leaves a log the user asked for inside the install folder where it is; the
// self-deletion's rmdir then finds the folder not empty, and it stays with the log alone.
void note_log_kept(platform::Platform& platform, const Path& log, const Path& folder) {
    const auto log_path = platform.files.canonical_path(log);
    const auto folder_path = platform.files.canonical_path(folder);
    if (!log_path || !folder_path) return;
    const auto within = path_within(*log_path, *folder_path);
    if (!within || within->empty()) return;
    platform.log->write("Kept the log, and the folder with it:", join_path(folder, *within));
}

int run_silently(platform::Platform& platform, SetupState& state) {
    if (!run_setup_operation(platform, state, true)) return exit_code_value(ExitCode::failed);
    return exit_code_value(ExitCode::completed);
}

// The folder of /dir=, for a fresh install: checked before anything is written. An installed
// version keeps its folder, whatever the switch says.
Status take_chosen_folder(platform::Platform& platform, SetupState& state, const std::u16string& chosen) {
    if (auto installed = recorded_install_folder(platform, state.manifest)) {
        platform.log->write("The folder chosen is ignored: the app is installed in", *installed);
        return success();
    }
    auto checked = check_chosen_folder(platform, state.manifest, chosen);
    if (!checked) return pass_on(std::move(checked.error()));
    state.chosen_folder = std::move(*checked);
    return success();
}

int run_package(platform::Platform& platform, const RunOptions& options, FileLog* log) {
    // The shortcuts are made through a COM object; COM stays initialised until the process ends.
    platform.session.initialize_com(kCoinitApartmentThreaded);

    // The pages' language; a silent run shows none, and its setup: line is English.
    TextLookup texts = options.silent ? TextLookup() : load_text_lookup(platform);

    auto package = load_installer_package(platform);
    if (!package) {
        if (log) log->open();  // nothing is installed: the page's failure is logged as it shows
        // The setup: line too when the page shows it: a script reads it either way.
        report_failure(platform, package.error(), true);
        if (!options.silent && !options.check_update) show_damaged_installer_page(platform, package.error(), texts);
        return exit_code_value(ExitCode::failed);
    }

    // A log that would append to a file of the app, or hold it open while the run replaces it, is
    // not opened: the run goes on as it would without /log.
    if (log) {
        if (log_is_app_file(platform, *options.log, package->manifest, package->files)) {
            log->drop();
        } else {
            log->open();
        }
    }
    platform.log->write("App", package->manifest.name);
    if (options.check_update || options.update) return run_update_switches(platform, options, package->manifest, texts);

    // Built in place: each member moved in once rather than made empty and then assigned.
    SetupState state{.platform = &platform,
                     .manifest = std::move(package->manifest),
                     .payload = package->payload,
                     .files = std::move(package->files),
                     .texts = std::move(texts),
                     .remove_mode = options.remove_mode,
                     .close_app = options.close_app};

    if (options.folder && !state.remove_mode) {
        if (Status chosen = take_chosen_folder(platform, state, *options.folder); !chosen) {
            report_failure(platform, chosen.error(), true);
            if (!options.silent) (void)show_first_page(platform, state, failure_page(state.manifest, false, chosen.error(), state.texts));
            return exit_code_value(ExitCode::failed);
        }
    }

    const int exit_code = options.silent ? run_silently(platform, state) : run_interactive(platform, state);

    // Only a removal that succeeded in this run sets the folder; the uninstaller then goes too.
    if (state.folder_to_delete) {
        start_self_deletion(platform, *state.folder_to_delete);
        if (options.log) note_log_kept(platform, *options.log, *state.folder_to_delete);
    }
    return exit_code;
}

}  // namespace

int run_setup(platform::Platform& outer) {
    const std::vector<std::u16string> arguments = outer.session.arguments();
    const RunOptions options = parse_command_line(arguments);
    // A switch that can't be used ends the run before anything else; one line says why.
    // Windows file names have no '"'; one in /log= would end the quotes around the path passed on
    // to the update's installer, and what follows would be switches of its own.
    const char* const refused =
        options.log_without_file ? "setup: /log= needs a file name, as in /log=C:\\Temp\\setup.log.\n"
        : options.log && options.log->find(u'"') != std::u16string::npos
            ? "setup: The /log= file name has a \", which no file name can have.\n"
        : options.dir_without_path ? "setup: /dir= needs a folder, as in /dir=C:\\Apps\\Notes.\n"
                                   : nullptr;
    if (refused) {
        outer.session.write_standard_error(refused);
        return exit_code_value(ExitCode::failed);
    }
    // Opened once the package tells which files the run installs, and closed when the run ends;
    // the lines before wait. A run that stops before that opens it at the end.
    platform::Platform platform = outer;
    std::optional<FileLog> log;
    if (options.log) platform.log = &log.emplace(outer, *options.log, true);

    platform.log->started("plinth-setup " PLINTH_VERSION, arguments);
    const int exit_code = run_package(platform, options, log ? &*log : nullptr);
    if (log) log->open();
    platform.log->write("Exit code", decimal_text(static_cast<unsigned>(exit_code)));
    return exit_code;
}

}  // namespace plinth
