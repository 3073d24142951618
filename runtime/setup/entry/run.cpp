#include "entry/run.h"

#include <string>
#include <utility>

#include "common/text.h"
#include "entry/command_line.h"
#include "entry/damaged_installer.h"
#include "entry/exit_code.h"
#include "entry/interactive_run.h"
#include "entry/update_run.h"
#include "state/setup_state.h"
#include "operation/setup_operation.h"
#include "package/load_package.h"
#include "removal/self_deletion.h"
#include "texts/text_lookup.h"

namespace plinth {
namespace {

constexpr std::uint32_t kCoinitApartmentThreaded = 2;  // COINIT_APARTMENTTHREADED

void report_on_standard_error(platform::Session& session, const std::string& failure_text) {
    // One line, whatever the text quotes.
    session.write_standard_error("setup: " + visible_controls(failure_text) + "\n");
}

int run_silently(platform::Platform& platform, SetupState& state) {
    const Status status = run_setup_operation(platform, state);
    if (!status) {
        report_on_standard_error(platform.session, status.error().text);
        return exit_code_value(ExitCode::failed);
    }
    return exit_code_value(ExitCode::completed);
}

}  // namespace

int run_setup(platform::Platform& platform) {
    const RunOptions options = parse_command_line(platform.session.arguments());
    // The shortcuts are made through a COM object; COM stays initialised until the process ends.
    platform.session.initialize_com(kCoinitApartmentThreaded);

    // The pages' language; a silent run shows none, and its setup: line is English.
    TextLookup texts = options.silent ? TextLookup() : load_text_lookup(platform);

    auto package = load_installer_package(platform);
    if (!package) {
        const std::string& text = package.error().text;
        if (!options.silent && !options.check_update) show_damaged_installer_page(platform, text, texts);
        report_on_standard_error(platform.session, text);
        return exit_code_value(ExitCode::failed);
    }

    if (options.check_update || options.update) return run_update_switches(platform, options, package->manifest);

    SetupState state;
    state.platform = &platform;
    state.manifest = std::move(package->manifest);
    state.payload = package->payload;
    state.files = std::move(package->files);
    state.remove_mode = options.remove_mode;
    state.texts = std::move(texts);

    const int exit_code = options.silent ? run_silently(platform, state) : run_interactive(platform, state);

    // Only a removal that succeeded in this run sets the folder; the uninstaller then goes too.
    if (state.folder_to_delete) start_self_deletion(platform, *state.folder_to_delete);
    return exit_code;
}

}  // namespace plinth
