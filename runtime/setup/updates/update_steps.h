// The steps of an update, each its own call so that the entry can show progress between them:
// what is installed, what the feed offers, the download and its checks, and running it.
//
// Everything goes through the seam; nothing here is written anywhere but the one new file in
// the user's temporary folder, which `DownloadedInstaller` deletes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "common/text.h"
#include "package/app_manifest.h"
#include "package/held_source.h"
#include "package/pe_file.h"
#include "platform/platform.h"
#include "updates/download_clock.h"
#include "updates/feed.h"

namespace plinth {

// The most redirects one download follows, each hop checked.
inline constexpr int kMaxRedirects = 10;
// How long a second update waits for the first one of the same app to finish.
inline constexpr std::uint32_t kUpdateLockWaitMs = 10 * 60'000;
// How long the new version's installer may run.
inline constexpr std::uint32_t kInstallerRunTimeoutMs = 30 * 60'000;
// How long /restart waits for the program that asked for the update to exit.
inline constexpr std::uint32_t kRestartWaitMs = 60'000;

// The app as this program knows it: its manifest's id and feed, and the version recorded in its
// uninstall entry.
struct InstalledApp {
    std::string id;
    std::string name;
    std::string feed_url;
    std::string version;
    std::optional<std::uint32_t> rollout_bucket;  // of its recorded random number (feed.h)
    // Further signer subjects the app accepts for its updates ("updates": {"publishers": [...]}).
    std::vector<std::string> publishers;
};

// The installed app, or why there is nothing to update: the manifest has no feed, or the app
// isn't installed for this user.
Status find_installed_app(platform::Platform& platform, const AppManifest& manifest, InstalledApp& app);

// A release to install and where its installer is.
struct UpdateOffer {
    Release release;
    std::string url;  // empty when the feed offers nothing newer
    std::string map_url;  // empty when the release has no map, or its URL can't be used
};

// Downloads the feed (at most 1 MiB, within 60 s in all) and chooses from it: the newest newer release, or nothing
// (`offer.url` left empty).
Status check_for_update(platform::Platform& platform, const InstalledApp& app, UpdateOffer& offer);

// Told of each chunk of the installer as it arrives; false stops the download there.
class DownloadProgress {
public:
    virtual bool received(std::uint64_t bytes, std::uint64_t of) = 0;

protected:
    ~DownloadProgress() = default;
};

// The failure of an update the user stopped.
Status update_cancelled();

// The downloaded installer, verified and held (no one can change, rename or delete it) from
// its checks through its run; destroying it lets go of it and deletes the file.
class DownloadedInstaller {
public:
    explicit DownloadedInstaller(platform::Files& files) : files_(&files) {}
    DownloadedInstaller(const DownloadedInstaller&) = delete;
    DownloadedInstaller& operator=(const DownloadedInstaller&) = delete;
    ~DownloadedInstaller();
    const Path& path() const { return path_; }
    platform::HeldFile* held() const { return held_.get(); }
    // Deletes the file now.
    void discard();

private:
    friend Status receive_installer(platform::Platform&, const UpdateOffer&, DownloadedInstaller&, DownloadProgress*);
    friend Status hold_installer(platform::Platform&, DownloadedInstaller&);
    platform::Files* files_;
    Path path_;
    std::unique_ptr<platform::HeldFile> held_;
};

// Downloads the offer into a new file of a unique name in the user's temporary folder, holds
// it, then checks it through what it holds: its size and SHA-256 must be the feed's; its
// package must be the installed app's (the same id), of the release's version, newer than the
// installed one; and when this program carries a valid Authenticode signature, the download
// must carry one of a signer it accepts (see signer_name.h). The download must keep at least
// 30 KiB in any 30 s. Any failure leaves no file behind. With a map, the file is first assembled
// from this program's own file and range requests (updates/map_download.h); when that can't be
// done, or what it gives isn't the release, the installer is downloaded whole.
Status download_update(platform::Platform& platform, const InstalledApp& app, const UpdateOffer& offer,
                       DownloadedInstaller& installer, DownloadProgress* progress = nullptr);

// The steps of download_update, for callers that download otherwise: the body into the new
// file, the file held, and the checks through the held file.
Status receive_installer(platform::Platform& platform, const UpdateOffer& offer, DownloadedInstaller& installer,
                         DownloadProgress* progress);
Status hold_installer(platform::Platform& platform, DownloadedInstaller& installer);
Status check_installer(platform::Platform& platform, const InstalledApp& app, const UpdateOffer& offer,
                       const DownloadedInstaller& installer);

// The lock that keeps two updates of the same app apart, held until destroyed.
Status lock_updates(platform::Platform& platform, const InstalledApp& app, std::unique_ptr<platform::HeldLock>& lock);

// Runs the downloaded installer silently and waits for it (at most 30 minutes, then it is
// ended): success when it exits 0. With a log, the installer appends its own steps to it. When
// it failed with its own "setup:" line (exit code 1), `reported` is set: that line is the run's.
Status install_update(platform::Platform& platform, const DownloadedInstaller& installer, const Path* log = nullptr,
                      bool* reported = nullptr);

// Waits (at most a minute) for the program that started this one to exit, unless not
// `after_parent`, then starts the installed app's exe, as its uninstall entry now records it,
// when it lies in the install folder the entry records.
Status restart_app(platform::Platform& platform, const InstalledApp& app, bool after_parent = true);

}  // namespace plinth
