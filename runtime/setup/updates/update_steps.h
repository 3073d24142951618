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

#include "common/result.h"
#include "common/text.h"
#include "package/app_manifest.h"
#include "platform/platform.h"
#include "updates/feed.h"

namespace plinth {

// Every network wait (resolving, connecting, sending, each receive) ends within this: a silent
// server fails in well under a minute.
inline constexpr std::uint32_t kNetworkTimeoutMs = 10'000;
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

// Downloads the feed (at most 1 MiB) and chooses from it: the newest newer release, or nothing
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

// The downloaded installer, verified; destroying it deletes the file.
class DownloadedInstaller {
public:
    explicit DownloadedInstaller(platform::Files& files) : files_(&files) {}
    DownloadedInstaller(const DownloadedInstaller&) = delete;
    DownloadedInstaller& operator=(const DownloadedInstaller&) = delete;
    ~DownloadedInstaller();
    const Path& path() const { return path_; }
    // Deletes the file now.
    void discard();

private:
    friend Status download_update(platform::Platform&, const UpdateOffer&, DownloadedInstaller&, DownloadProgress*);
    platform::Files* files_;
    Path path_;
};

// Downloads the offer into a new file of a unique name in the user's temporary folder, then
// checks it: its size and SHA-256 must be the feed's and, when this program carries a valid
// Authenticode signature, the download must carry one of the same signer. Any failure leaves no
// file behind. With a map, the file is first assembled from this program's own file and range
// requests (updates/map_download.h); when that can't be done, or what it gives isn't the
// release, the installer is downloaded whole.
Status download_update(platform::Platform& platform, const UpdateOffer& offer, DownloadedInstaller& installer,
                       DownloadProgress* progress = nullptr);

// The lock that keeps two updates of the same app apart, held until destroyed.
Status lock_updates(platform::Platform& platform, const InstalledApp& app, std::unique_ptr<platform::HeldLock>& lock);

// Runs the downloaded installer silently and waits for it: success when it exits 0. With a log,
// the installer appends its own steps to it.
Status install_update(platform::Platform& platform, const DownloadedInstaller& installer, const Path* log = nullptr);

// Waits (at most a minute) for the program that started this one to exit, then starts the
// installed app's exe, as its uninstall entry now records it.
Status restart_app(platform::Platform& platform, const InstalledApp& app);

}  // namespace plinth
