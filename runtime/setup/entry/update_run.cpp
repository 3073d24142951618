#include "entry/update_run.h"

#include <string>
#include <utility>

#include "entry/exit_code.h"
#include "log/run_log.h"
#include "updates/update_steps.h"

namespace plinth {
namespace {

int failed(platform::Platform& platform, const Failure& failure) {
    platform.log->write("Failed:", failure.text);
    platform.session.write_standard_error("setup: " + failure.text + "\n");
    return exit_code_value(ExitCode::failed);
}

int none_newer(platform::Platform& platform) {
    platform.log->write("No newer version");
    return exit_code_value(ExitCode::completed);
}

int check_only(platform::Platform& platform, const AppManifest& manifest) {
    auto app = find_installed_app(platform, manifest);
    if (!app) return failed(platform, app.error());
    auto offer = check_for_update(platform, *app);
    if (!offer) return failed(platform, offer.error());
    if (!*offer) return none_newer(platform);
    platform.log->write("Newer version available:", (*offer)->release.version);
    platform.session.write_standard_output((*offer)->release.version + "\n");
    return exit_code_value(ExitCode::update_available);
}

int update_silently(platform::Platform& platform, const RunOptions& options, const AppManifest& manifest) {
    auto app = find_installed_app(platform, manifest);
    if (!app) return failed(platform, app.error());
    // Held until the new version is installed; a second update then finds nothing newer.
    auto lock = lock_updates(platform, *app);
    if (!lock) return failed(platform, lock.error());
    // What is installed may have changed while this waited for the lock.
    app = find_installed_app(platform, manifest);
    if (!app) return failed(platform, app.error());
    auto offer = check_for_update(platform, *app);
    if (!offer) return failed(platform, offer.error());
    if (!*offer) return none_newer(platform);
    auto installer = download_update(platform, **offer);
    if (!installer) return failed(platform, installer.error());
    if (Status installed = install_update(platform, *installer); !installed) return failed(platform, installed.error());
    platform.log->write("Installed the update to version", (*offer)->release.version);
    if (options.restart) {
        // The new version is installed whatever happens here: a failure is reported, not counted.
        if (Status restarted = restart_app(platform, *app); !restarted) {
            platform.log->write("Failed:", restarted.error().text);
            platform.session.write_standard_error("setup: " + restarted.error().text + "\n");
        }
    }
    return exit_code_value(ExitCode::completed);
}

}  // namespace

int run_update_switches(platform::Platform& platform, const RunOptions& options, const AppManifest& manifest) {
    if (!options.update) return check_only(platform, manifest);
    return update_silently(platform, options, manifest);
}

}  // namespace plinth
