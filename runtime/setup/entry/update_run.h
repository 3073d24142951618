// The update switches: /check-update, and /update with or without /S and /restart. Returns the
// process exit code: 3 (check only) when a newer version exists, its version then on standard
// output; 0 when none does or it was installed; 1 on failure, with the "setup:" line; 2 when the
// user chose not to update.
#pragma once

#include "command_line.h"
#include "package/app_manifest.h"
#include "platform/platform.h"
#include "texts/text_lookup.h"
#include "updates/update_steps.h"

namespace plinth {

// `texts` are the dialog's, when /update runs without /S.
int run_update_switches(platform::Platform& platform, const RunOptions& options, const AppManifest& manifest,
                        const TextLookup& texts);

// Reports a failed update in the log and, unless the new installer `reported` it already with
// its own, on the "setup:" line; returns the exit code 1.
int update_failed(platform::Platform& platform, const Failure& failure, bool reported = false);

// What is installed and whether the feed offers a newer version (`offer.url` empty when not),
// with the log's line for either.
Status find_update(platform::Platform& platform, const AppManifest& manifest, InstalledApp& app, UpdateOffer& offer);

// Told how an update goes while it runs; it may stop it before anything is installed.
class UpdateWatcher : public DownloadProgress {
public:
    // Asked once the download is verified: false stops the update there.
    virtual bool installing() = 0;

protected:
    ~UpdateWatcher() = default;
};

// The update itself: the lock, what is installed and what the feed offers (both checked again
// under the lock), the download and its checks, the new installer's silent run, then the app's
// restart when asked for. `offer.url` is left empty when nothing is newer. `reported` is set when
// the new installer failed and said why on its own "setup:" line.
Status apply_update(platform::Platform& platform, const RunOptions& options, const AppManifest& manifest,
                    InstalledApp& app, UpdateOffer& offer, UpdateWatcher* watcher, bool& reported);

}  // namespace plinth
