#include "entry/update_run.h"

#include <string>
#include <utility>

#include "entry/exit_code.h"
#include "entry/update_dialog.h"
#include "common/text.h"
#include "log/run_log.h"
#include "operation/app_closing.h"
#include "package/update_url.h"
#include "updates/sentence.h"

namespace plinth {

int update_failed(platform::Platform& platform, const Failure& failure, bool reported) {
    report_failure(platform, failure, !reported);
    return exit_code_value(ExitCode::failed);
}

Status find_update(platform::Platform& platform, const AppManifest& manifest, InstalledApp& app, UpdateOffer& offer) {
    Status checked = find_installed_app(platform, manifest, app);
    if (checked) checked = check_for_update(platform, app, offer);
    if (!checked) return checked;
    if (offer.url.empty()) {
        platform.log->write("No newer version");
    } else {
        platform.log->write("Newer version available:", offer.release.version);
    }
    return checked;
}

namespace {

// What support needs to find the release again: where it came from and how large it is.
void log_download(platform::Platform& platform, const UpdateOffer& offer) {
    platform.log->write("Downloading the update from",
                        sentence("% (% bytes)", {offer.url, decimal_text(offer.release.size)}));
}

int check_only(platform::Platform& platform, const AppManifest& manifest) {
    InstalledApp app;
    UpdateOffer offer;
    if (const Status checked = find_update(platform, manifest, app, offer); !checked) {
        return update_failed(platform, checked.error());
    }
    if (offer.url.empty()) return exit_code_value(ExitCode::completed);
    // The offer ends here: its version becomes the output line in place.
    offer.release.version += '\n';
    platform.session.write_standard_output(offer.release.version);
    return exit_code_value(ExitCode::update_available);
}

int update_silently(platform::Platform& platform, const RunOptions& options, const AppManifest& manifest) {
    InstalledApp app;
    UpdateOffer offer;
    bool reported = false;
    const Status done = apply_update(platform, options, manifest, app, offer, nullptr, reported);
    if (!done) return update_failed(platform, done.error(), reported);
    if (offer.url.empty()) platform.log->write("No newer version");
    return exit_code_value(ExitCode::completed);
}

}  // namespace

Status apply_update(platform::Platform& platform, const RunOptions& options, const AppManifest& manifest,
                    InstalledApp& app, UpdateOffer& offer, UpdateWatcher* watcher, bool& reported) {
    std::unique_ptr<platform::HeldLock> lock;
    DownloadedInstaller installer(platform.files);
    if (Status found = find_installed_app(platform, manifest, app); !found) return found;
    // Held until the new version is installed; a second update then finds nothing newer.
    if (Status locked = lock_updates(platform, app, lock); !locked) return locked;
    // What is installed may have changed while this waited for the lock.
    if (Status found = find_installed_app(platform, manifest, app); !found) return found;
    Status done = check_for_update(platform, app, offer);
    if (!done || offer.url.empty()) return done;
    log_download(platform, offer);
    if (Status downloaded = download_update(platform, app, offer, installer, watcher); !downloaded) return downloaded;
    platform.log->write("Checked the download: the feed's size and SHA-256, the signer, and the package's own id and version");
    // The last moment it can be stopped: nothing is installed yet.
    if (watcher && !watcher->installing()) return update_cancelled();
    if (options.close_app) close_running_app(platform, manifest);
    done = install_update(platform, installer, options.log ? &*options.log : nullptr, &reported);
    if (!done) return done;
    platform.log->write("Installed the update to version", offer.release.version);
    if (options.restart) {
        // The new version is installed whatever happens here: a failure is reported, not counted.
        if (Status restarted = restart_app(platform, app); !restarted) {
            (void)update_failed(platform, restarted.error());
        } else {
            platform.log->write("Started the app again");
        }
    }
    return done;
}

Result<AppManifest> channel_manifest(const AppManifest& manifest, const RunOptions& options) {
    AppManifest channel = manifest;
    if (!options.feed || manifest.update_feed.empty()) return channel;
    channel.update_feed = to_utf8(*options.feed);
    if (auto problem = update_url_problem(channel.update_feed)) {
        return fail({"The feed given with /feed= can't be used: ", *problem});
    }
    return channel;
}

int run_update_switches(platform::Platform& platform, const RunOptions& options, const AppManifest& manifest,
                        const TextLookup& texts) {
    auto channel = channel_manifest(manifest, options);
    if (!channel) return update_failed(platform, channel.error());
    platform.log->write(options.feed ? "Update feed (from /feed=)" : "Update feed", channel->update_feed);
    if (!options.update) return check_only(platform, *channel);
    if (!options.silent) return update_with_dialog(platform, options, *channel, texts);
    return update_silently(platform, options, *channel);
}

}  // namespace plinth
