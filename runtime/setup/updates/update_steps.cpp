#include "updates/update_steps.h"

#include <array>
#include <utility>
#include <vector>

#include "common/command_line_quote.h"
#include "locations/path_within.h"
#include "log/run_log.h"
#include "package/installer_file.h"
#include "package/signer_name.h"
#include "package/version_order.h"
#include "registry/uninstall_entry.h"
#include "system_error/error_text.h"
#include "updates/map_download.h"
#include "updates/release_url.h"
#include "updates/sentence.h"

namespace plinth {
namespace {

constexpr platform::ErrorCode kFileExists = 80;  // ERROR_FILE_EXISTS
constexpr platform::ErrorCode kWaitTimeout = 258;  // WAIT_TIMEOUT
constexpr std::size_t kChunkSize = 64 * 1024;

// The WinHTTP errors a user meets, in words; the system's message table has none of them. One
// table rather than a case each: each case would build its own string.
struct KnownError {
    std::uint16_t code;
    const char* text;
};
constexpr KnownError kKnownErrors[] = {
    {12002, "the server didn't answer in time (WinHTTP error 12002)"},
    // Wine passes the socket's own timeout on.
    {10060, "the server didn't answer in time (error 10060)"},
    {12007, "the server's name can't be resolved (WinHTTP error 12007)"},
    {12029, "the server can't be reached (WinHTTP error 12029)"},
    {12030, "the connection was cut (WinHTTP error 12030)"},
    {12152, "the server's answer can't be read (WinHTTP error 12152)"},
    {12157, "no secure connection can be made with the server (WinHTTP error 12157)"},
    {12175, "the server's certificate isn't trusted (WinHTTP error 12175)"},
};

std::string winhttp_error_text(platform::Platform& platform, std::uint32_t code) {
    for (const KnownError& known : kKnownErrors) {
        if (known.code == code) return known.text;
    }
    if (code >= 12000 && code < 13000) return concat({"WinHTTP error ", decimal_text(code)});
    return os_error_text(platform.system_text, code);
}

std::string download_failure_text(platform::Platform& platform, const platform::DownloadFailure& failure) {
    using Kind = platform::DownloadFailure::Kind;
    switch (failure.kind) {
        case Kind::status: return concat({"the server answered with HTTP status ", decimal_text(failure.code)});
        case Kind::redirect:
            return sentence("it was redirected more than % times", {decimal_text(kMaxRedirects)});
        case Kind::too_large: return "it is larger than it may be";
        case Kind::system: break;
    }
    return winhttp_error_text(platform, failure.code);
}

[[gnu::noinline]] Status download_problem(platform::Platform& platform, std::string_view what,
                                                     std::string_view url, const platform::DownloadFailure& failure) {
    return fail_with("% can't be downloaded from %: %.", {what, url, download_failure_text(platform, failure)});
}

[[gnu::noinline]] Status late(std::string_view what, std::string_view url, const DownloadClock& clock) {
    return fail_with("% can't be downloaded from %: %.", {what, url, clock.why_late()});
}

// GET, following redirects here so that every hop meets the URL rule before it is asked.
Status open_download(platform::Platform& platform, const std::string& url, std::string_view what,
                     DownloadClock& clock, std::unique_ptr<platform::Download>& download) {
    std::string at = url;
    for (int hop = 0;; ++hop) {
        auto got = platform.network.get(at, clock.next_wait());
        if (got) {
            download = std::move(*got);
            return success();
        }
        if (!clock.on_track(0)) return late(what, url, clock);
        if (got.error().kind != platform::DownloadFailure::Kind::redirect || hop == kMaxRedirects) {
            return download_problem(platform, what, url, got.error());
        }
        const auto next = resolve_url(at, got.error().location);
        const std::string_view location = next ? std::string_view(*next) : std::string_view(got.error().location);
        if (auto problem = redirect_problem(at, location)) {
            return fail_with("% can't be downloaded from %: %.", {what, url, *problem});
        }
        at = *next;
    }
}

[[gnu::noinline]] Status write_problem(platform::Platform& platform, const Path& path, platform::ErrorCode error) {
    return fail_with("The update can't be written to % (%).",
                     {path_text(path), os_error_text(platform.system_text, error)});
}

// Reads the body to its end, into the feed's text or the new file, within the clock's limits.
// It stops as soon as the body is longer than `limit`; `received` then says so.
Status receive(platform::Platform& platform, platform::Download& download, const std::string& url,
               std::string_view what, DownloadClock& clock, std::uint64_t limit, std::uint64_t& received,
               std::string* text, platform::NewFile* file, const Path& path, DownloadProgress* progress) {
    std::vector<std::uint8_t> buffer(kChunkSize);
    received = 0;
    for (;;) {
        download.limit_wait(clock.next_wait());
        auto count = download.read(buffer);
        // A wait the deadline cut short failed for the deadline's sake.
        if (!clock.on_track(received + (count ? *count : 0))) return late(what, url, clock);
        if (!count) return download_problem(platform, what, url, count.error());
        if (*count == 0) return success();
        received += *count;
        if (received > limit) return success();
        if (text != nullptr) {
            text->append(reinterpret_cast<const char*>(buffer.data()), *count);
        } else if (const platform::ErrorCode error = file->write(std::span(buffer.data(), *count)); error != 0) {
            return write_problem(platform, path, error);
        }
        if (progress != nullptr && !progress->received(received, limit)) return update_cancelled();
    }
}

}  // namespace

[[gnu::noinline]] Status update_cancelled() { return fail("The update was cancelled."); }

namespace {

Status download_feed(platform::Platform& platform, const std::string& url, std::string& text) {
    DownloadClock clock(platform.network, {.total_ms = kFeedDeadlineMs});
    std::unique_ptr<platform::Download> download;
    if (Status opened = open_download(platform, url, "The update feed", clock, download); !opened) return opened;
    std::uint64_t received = 0;
    if (const auto announced = download->announced_size(); !announced || *announced <= kMaxFeedSize) {
        if (Status read = receive(platform, *download, url, "The update feed", clock, kMaxFeedSize, received, &text,
                                  nullptr, {}, nullptr);
            !read)
            return read;
        if (received <= kMaxFeedSize) return success();
    }
    return fail_with("The update feed at % is larger than 1 MiB.", {url});
}

std::optional<Path> temporary_folder(platform::Platform& platform) {
    for (const char16_t* name : {u"TMP", u"TEMP", u"USERPROFILE"}) {
        if (auto value = platform.shell.environment_variable(name); value && !value->empty()) return *value;
    }
    return std::nullopt;
}

// A new file of a name no one can guess, in the user's temporary folder.
Status create_download_file(platform::Platform& platform, Path& path, std::unique_ptr<platform::NewFile>& file) {
    const auto folder = temporary_folder(platform);
    if (!folder) return fail("The update can't be downloaded: this user has no temporary folder (TMP and TEMP are not set).");
    platform::ErrorCode error = kFileExists;
    for (int attempt = 0; attempt < 4 && error == kFileExists; ++attempt) {
        std::array<std::uint8_t, 8> random{};
        if (const platform::ErrorCode failed = platform.crypto.random(random); failed != 0) {
            return fail_with("The update can't be downloaded: no random name can be made (%).",
                             {os_error_text(platform.system_text, failed)});
        }
        // The random bytes in hex, written into their place in the name.
        char16_t name[] = u"plinth-update-0123456789abcdef.exe";
        char16_t* digit = name + 14;
        for (std::uint8_t byte : random) {
            *digit++ = u"0123456789abcdef"[byte >> 4];
            *digit++ = u"0123456789abcdef"[byte & 15];
        }
        // Named in `path` only once it is ours: the installer deletes what `path` names.
        Path candidate = join_path(*folder, name);
        auto created = platform.files.create_new(candidate);
        if (created) {
            path = std::move(candidate);
            file = std::move(*created);
            return success();
        }
        error = created.error();
    }
    return write_problem(platform, *folder, error);
}

[[gnu::noinline]] Status unreadable_download(platform::Platform& platform, const Path& path, std::string_view prefix,
                                             platform::ErrorCode error) {
    return fail_with("The downloaded update % can't be read back (%%).",
                     {path_text(path), prefix, os_error_text(platform.system_text, error)});
}

// The held file's SHA-256: what is checked is what will run.
Status hash_file(platform::Platform& platform, const DownloadedInstaller& installer, platform::Sha256& sha256) {
    auto hash = platform.crypto.sha256();
    if (!hash) return unreadable_download(platform, installer.path(), "no SHA-256, ", hash.error());
    std::vector<std::uint8_t> buffer(kChunkSize);
    for (std::uint64_t at = 0;;) {
        auto count = installer.held()->read_at(at, buffer);
        if (!count) return unreadable_download(platform, installer.path(), {}, count.error());
        if (*count == 0) break;
        (*hash)->add(std::span<const std::uint8_t>(buffer.data(), *count));
        at += *count;
    }
    sha256 = (*hash)->finish();
    return success();
}

// The download must be the installer of this app's own, newer version: the feed's server could
// otherwise label an old release (or another app by the same signer) as the new one.
Status check_package(const InstalledApp& app, const UpdateOffer& offer, const DownloadedInstaller& installer) {
    HeldSource source(*installer.held(), offer.release.size);
    const auto manifest = read_installer_manifest(source);
    const std::string_view from = offer.url;
    if (!manifest)
        return fail_with("The update from % isn't an installer of %: no app package can be read from it.",
                         {from, app.name});
    if (manifest->id != app.id) {
        return fail_with("The update from % is the installer of another app (%, id \"%\"), not of %.",
                         {from, manifest->name, manifest->id, app.name});
    }
    if (compare_versions(manifest->version, offer.release.version) != 0) {
        return fail_with("The update from % is % %, not the version % the feed says it is.",
                         {from, app.name, manifest->version, offer.release.version});
    }
    if (compare_versions(manifest->version, app.version).value_or(0) <= 0) {
        return fail_with("The update from % is % %, which isn't newer than the installed version %.",
                         {from, app.name, manifest->version, app.version});
    }
    return success();
}

std::string signature_state_text(const platform::Signature& signature) {
    switch (signature.state) {
        case platform::Signature::State::valid:
            return sentence("signed by \"%\"", {signature.subject});
        case platform::Signature::State::none: return "not signed";
        case platform::Signature::State::invalid: break;
    }
    static const char digits[] = "0123456789ABCDEF";
    std::string code = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) code += digits[(static_cast<std::uint32_t>(signature.code) >> shift) & 15];
    return sentence("signed, but its signature isn't valid (%)", {code});
}

// When this program is signed, the update must be signed by the same signer (or one its
// manifest lists); otherwise the HTTPS feed and the SHA-256 are the trust.
Status check_signer(platform::Platform& platform, const InstalledApp& app, const DownloadedInstaller& download) {
    auto own_path = platform.module.own_path();
    if (!own_path)
        return fail_with("This program's own file can't be found (%).",
                         {os_error_text(platform.system_text, own_path.error())});
    const platform::Signature own = platform.crypto.signature(*own_path, nullptr);
    if (own.state == platform::Signature::State::none) {
        platform.log->write("Signer not checked: this program isn't signed");
        return success();
    }
    if (own.state == platform::Signature::State::invalid) {
        return fail_with("This program is %, so no update can be trusted.", {signature_state_text(own)});
    }
    const platform::Signature theirs = platform.crypto.signature(download.path(), download.held());
    if (theirs.state != platform::Signature::State::valid || !accepted_signer(theirs.subject, own.subject, app.publishers)) {
        return fail_with(
            "The update is %, but this program is signed by \"%\"; an update must come from the same signer, or one "
            "its manifest lists.",
            {signature_state_text(theirs), own.subject});
    }
    platform.log->write("The update is", signature_state_text(theirs));
    return success();
}

std::u16string quoted(const Path& path, std::u16string_view after = {}) {
    std::u16string text = u"\"";
    text += path;
    text += u"\"";
    text += after;
    return text;
}

// Whether `path` names something below `folder`, compared as Windows compares names, with no
// "." or ".." on the way that could lead out of it.
bool lies_inside(std::u16string_view path, std::u16string_view folder) {
    const auto within = path_within(path, folder);
    if (!within || within->empty()) return false;
    std::u16string_view rest = *within;
    if (rest.find(u':') != std::u16string_view::npos) return false;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find(u'\\'), rest.find(u'/'));
        const std::u16string_view part = rest.substr(0, end);
        if (part.empty() || part == u"." || part == u"..") return false;
        rest = end == std::u16string_view::npos ? std::u16string_view() : rest.substr(end + 1);
        if (end != std::u16string_view::npos && rest.empty()) return false;
    }
    return true;
}

// A mutex name may not hold a backslash beyond its namespace's, nor be longer than MAX_PATH.
std::u16string lock_name(const std::string& id) {
    std::u16string name = u"plinth-update-";
    name += to_utf16(id);
    for (char16_t& c : name) {
        if (c == u'\\') c = u'/';
    }
    if (name.size() > 200) name.resize(200);
    return name;
}

}  // namespace

DownloadedInstaller::~DownloadedInstaller() { discard(); }

void DownloadedInstaller::discard() {
    // Let go of first: a held file can't be deleted.
    held_.reset();
    if (!path_.empty()) files_->delete_file(path_);
    path_.clear();
}

Status find_installed_app(platform::Platform& platform, const AppManifest& manifest, InstalledApp& app) {
    if (manifest.update_feed.empty()) {
        return fail({manifest.name, " has no updates: its manifest names no update feed."});
    }
    RecordedInstall recorded = recorded_install(platform, manifest.id);
    if (!recorded.version) return fail({manifest.name, " isn't installed for this user, so there is nothing to update."});
    app.id = manifest.id;
    app.name = manifest.name;
    app.feed_url = manifest.update_feed;
    app.publishers = manifest.update_publishers;
    app.version = std::move(*recorded.version);
    if (recorded.rollout_number) app.rollout_bucket = rollout_bucket(*recorded.rollout_number);
    return success();
}

Status check_for_update(platform::Platform& platform, const InstalledApp& app, UpdateOffer& offer) {
    offer.url.clear();
    std::string text;
    if (Status downloaded = download_feed(platform, app.feed_url, text); !downloaded) return downloaded;
    auto feed = read_feed(text);
    if (!feed) return pass_on(std::move(feed.error()));
    auto chosen = newest_update(*feed, app.id, app.version, app.rollout_bucket);
    if (!chosen) return pass_on(std::move(chosen.error()));
    if (*chosen == feed->releases.size()) return success();
    Release& release = feed->releases[*chosen];
    auto url = resolve_installer_url(app.feed_url, release.installer);
    if (!url) return pass_on(std::move(url.error()));
    offer.map_url.clear();
    if (release.map) {
        // A map that can't be used costs only the bytes it would have saved.
        auto map_url = resolve_installer_url(app.feed_url, release.map->url);
        if (map_url) {
            offer.map_url = std::move(*map_url);
        } else {
            platform.log->write("Ignoring the release's map:", map_url.error().text);
        }
    }
    offer.release = std::move(release);
    offer.url = std::move(*url);
    return success();
}

namespace {

// The new installer assembled through the release's map, held, and its SHA-256 the feed's. A
// failure is the user's cancelling: anything else leaves `installer` without a file, or `whole`
// with the server's whole file.
Status assemble_through_map(platform::Platform& platform, const UpdateOffer& offer, DownloadedInstaller& installer,
                            Path& path, DownloadProgress* progress, std::unique_ptr<platform::Download>& whole) {
    std::unique_ptr<platform::NewFile> file;
    if (!create_download_file(platform, path, file)) return success();
    MapOutcome outcome = download_through_map(platform, offer, *file, progress, whole);
    file.reset();
    if (outcome == MapOutcome::cancelled) return update_cancelled();
    if (outcome == MapOutcome::assembled) {
        // Checked here as well, so that a map that lied costs one more download, not the update.
        platform::Sha256 hash{};
        Status checked = hold_installer(platform, installer);
        if (checked) checked = hash_file(platform, installer, hash);
        if (checked && hash == offer.release.sha256) return success();
        platform.log->write("Downloading the whole installer:",
                            checked ? "what it assembled isn't the release the feed describes" : checked.error().text);
    }
    installer.discard();
    return success();
}

}  // namespace

Status receive_installer(platform::Platform& platform, const UpdateOffer& offer, DownloadedInstaller& installer,
                         DownloadProgress* progress) {
    std::unique_ptr<platform::Download> download;
    if (!offer.map_url.empty() && offer.release.map) {
        if (Status assembled = assemble_through_map(platform, offer, installer, installer.path_, progress, download);
            !assembled)
            return assembled;
        if (!installer.path_.empty()) return success();
    }
    DownloadClock clock(platform.network, {.least_bytes = kLeastRateBytes, .window_ms = kLeastRateWindowMs});
    if (!download) {
        if (Status opened = open_download(platform, offer.url, "The update", clock, download); !opened) return opened;
    }
    const std::uint64_t expected = offer.release.size;
    std::uint64_t received = 0;
    if (const auto announced = download->announced_size(); !announced || *announced == expected) {
        std::unique_ptr<platform::NewFile> file;
        // From here the installer deletes the file on every path, its owner's included.
        if (Status created = create_download_file(platform, installer.path_, file); !created) return created;
        if (Status read = receive(platform, *download, offer.url, "The update", clock, expected, received, nullptr,
                                  file.get(), installer.path_, progress);
            !read)
            return read;
    }
    if (received != expected) {
        return fail_with(
            "The update from % isn't the size the feed gives (% bytes), so it isn't the release the feed describes.",
            {offer.url, decimal_text(expected)});
    }
    return success();
}

Status hold_installer(platform::Platform& platform, DownloadedInstaller& installer) {
    // The writer is closed by now; whatever happened to the file since is what the checks see.
    auto held = platform.files.hold(installer.path());
    if (!held) return unreadable_download(platform, installer.path(), {}, held.error());
    installer.held_ = std::move(*held);
    return success();
}

Status check_installer(platform::Platform& platform, const InstalledApp& app, const UpdateOffer& offer,
                       const DownloadedInstaller& installer) {
    auto size = installer.held()->size();
    if (!size) return unreadable_download(platform, installer.path(), {}, size.error());
    platform::Sha256 hash;
    if (Status hashed = hash_file(platform, installer, hash); !hashed) return hashed;
    if (*size != offer.release.size || hash != offer.release.sha256) {
        return fail_with("The update from % isn't the release the feed describes: its SHA-256 is %, the feed's is %.",
                         {offer.url, sha256_text(hash), sha256_text(offer.release.sha256)});
    }
    platform.log->write("SHA-256 as the feed gives it:", sha256_text(hash));
    if (Status package = check_package(app, offer, installer); !package) return package;
    return check_signer(platform, app, installer);
}

Status download_update(platform::Platform& platform, const InstalledApp& app, const UpdateOffer& offer,
                       DownloadedInstaller& installer, DownloadProgress* progress) {
    if (Status received = receive_installer(platform, offer, installer, progress); !received) return received;
    // An assembled installer is held already.
    if (installer.held() == nullptr) {
        if (Status held = hold_installer(platform, installer); !held) return held;
    }
    return check_installer(platform, app, offer, installer);
}

Status lock_updates(platform::Platform& platform, const InstalledApp& app, std::unique_ptr<platform::HeldLock>& lock) {
    auto acquired = platform.locks.acquire(lock_name(app.id), kUpdateLockWaitMs);
    if (acquired) {
        lock = std::move(*acquired);
        return success();
    }
    if (acquired.error() == kWaitTimeout) {
        return fail_with("Another update of % is still running; try again when it has finished.", {app.name});
    }
    return fail_with("The update of % can't be started (%).",
                     {app.name, os_error_text(platform.system_text, acquired.error())});
}

Status install_update(platform::Platform& platform, const DownloadedInstaller& installer, const Path* log,
                      bool* reported) {
    platform::ProcessStart start;
    start.application = installer.path();
    start.command_line = quoted(installer.path(), u" /S");
    // The installer appends its steps to the same log, its path one argument whatever it holds.
    if (log) append_argument(start.command_line, u"/log=" + *log);
    // Its own "setup:" line reaches the same standard error as this program's.
    start.inherit_handles = true;
    auto exit_code = platform.processes.run_and_wait(start, kInstallerRunTimeoutMs);
    if (!exit_code) {
        if (exit_code.error() == kWaitTimeout) return fail("The new version's installer didn't finish within 30 minutes.");
        return fail_with("The new version's installer can't be started (%).",
                         {os_error_text(platform.system_text, exit_code.error())});
    }
    if (*exit_code != 0) {
        if (reported != nullptr) *reported = *exit_code == 1;
        return fail_with("The new version's installer failed (exit code %).", {decimal_text(*exit_code)});
    }
    return success();
}

Status restart_app(platform::Platform& platform, const InstalledApp& app, bool after_parent) {
    // The new version's entry: its exe may have another name.
    const RecordedInstall recorded = recorded_install(platform, app.id);
    if (!recorded.exe || recorded.exe->empty()) {
        return fail({app.name, " can't be started again: its uninstall entry names no exe."});
    }
    const Path exe = to_utf16(*recorded.exe);
    // The entry is the user's to change: only a program of the app's own folder is started.
    if (!recorded.folder || !lies_inside(exe, to_utf16(*recorded.folder))) {
        return fail_with("% can't be started again: its uninstall entry names %, which isn't in its install folder.",
                         {app.name, path_text(exe)});
    }
    if (after_parent) platform.processes.wait_for_parent(kRestartWaitMs);
    platform::ProcessStart start;
    start.application = exe;
    start.command_line = quoted(exe);
    start.current_directory = parent_folder(exe);
    if (const platform::ErrorCode error = platform.processes.start(start); error != 0) {
        return fail_with("% can't be started again (%: %).",
                         {app.name, path_text(exe), os_error_text(platform.system_text, error)});
    }
    return success();
}

}  // namespace plinth
