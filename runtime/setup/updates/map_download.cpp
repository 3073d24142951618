#include "updates/map_download.h"

#include <algorithm>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "log/run_log.h"
#include "package/installer_regions.h"
#include "updates/download_plan.h"
#include "updates/installer_map.h"
#include "updates/release_url.h"
#include "updates/sentence.h"

namespace plinth {
namespace {

constexpr std::size_t kChunkSize = 64 * 1024;

// Logs why the map can't be used; the update goes on without it.
MapOutcome fall_back(platform::Platform& platform, std::string_view why) {
    platform.log->write("Downloading the whole installer:", why);
    return MapOutcome::fall_back;
}

std::optional<platform::Sha256> sha256_of(platform::Platform& platform, std::span<const std::uint8_t> bytes) {
    auto hash = platform.crypto.sha256();
    if (!hash) return std::nullopt;
    (*hash)->add(bytes);
    return (*hash)->finish();
}

// The Location of a redirect from `at`, resolved, when it meets the rule every hop of an update's
// download meets; otherwise nothing, and `why` says why.
std::optional<std::string> next_hop(const std::string& at, const platform::DownloadFailure& failure, std::string& why) {
    const auto next = resolve_url(at, failure.location);
    const std::string_view location = next ? std::string_view(*next) : std::string_view(failure.location);
    if (auto problem = redirect_problem(at, location)) {
        why = *problem;
        return std::nullopt;
    }
    return next;
}

// The map's bytes, exactly the size and SHA-256 the feed gives, or why not.
Result<std::vector<std::uint8_t>> fetch_map(platform::Platform& platform, const UpdateOffer& offer) {
    const ReleaseMap& map = *offer.release.map;
    std::string at = offer.map_url;
    auto download = platform.network.get(at, kNetworkTimeoutMs);
    for (int hop = 0; !download && download.error().kind == platform::DownloadFailure::Kind::redirect; ++hop) {
        std::string why;
        const auto next = next_hop(at, download.error(), why);
        if (!next || hop == kMaxRedirects) {
            return fail_with("its map can't be downloaded from %: %", {offer.map_url, why});
        }
        at = *next;
        download = platform.network.get(at, kNetworkTimeoutMs);
    }
    if (!download) return fail({"its map can't be downloaded from ", offer.map_url});
    const auto announced = (*download)->announced_size();
    if (announced && *announced != map.size) return fail("its map isn't the size the feed gives");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(map.size) + 1);
    std::size_t received = 0;
    while (received < bytes.size()) {
        auto count = (*download)->read(std::span(bytes).subspan(received));
        if (!count) return fail({"its map can't be downloaded from ", offer.map_url});
        if (*count == 0) break;
        received += *count;
    }
    if (received != map.size) return fail("its map isn't the size the feed gives");
    bytes.pop_back();
    if (sha256_of(platform, bytes) != map.sha256) return fail("its map isn't the one the feed describes");
    return bytes;
}

// As much of `buffer` as `left` bytes need.
std::span<std::uint8_t> chunk_of(std::span<std::uint8_t> buffer, std::uint64_t left) {
    return buffer.first(static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size())));
}

// The regions of the running program's own file (the installed version's installer), each
// hashed: the file is read once, a chunk at a time, never held in memory whole.
Result<std::vector<BaseRegion>> hash_base(platform::Platform& platform, HeldSource& base,
                                          std::span<std::uint8_t> buffer) {
    const std::vector<Region> cut = installer_regions(base);
    std::vector<BaseRegion> regions(cut.size());
    for (std::size_t i = 0; i < cut.size(); ++i) {
        const Region& region = cut[i];
        auto hash = platform.crypto.sha256();
        if (!hash) return fail("no SHA-256 can be computed");
        const std::uint64_t end = region.offset + region.size;
        for (std::uint64_t at = region.offset; at < end;) {
            const auto chunk = chunk_of(buffer, end - at);
            if (!base.read(at, chunk)) return fail("this program's own file can't be read");
            (*hash)->add(chunk);
            at += chunk.size();
        }
        regions[i] = {region.offset, region.size, (*hash)->finish()};
    }
    return regions;
}

// "bytes FIRST-LAST/TOTAL" (or "/*"), exactly: anything else is another range than the one asked.
bool is_content_range(std::string_view text, std::uint64_t first, std::uint64_t last, std::uint64_t total) {
    const std::string asked = sentence("bytes %-%/", {decimal_text(first), decimal_text(last)});
    if (!text.starts_with(asked)) return false;
    text.remove_prefix(asked.size());
    return text == "*" || text == decimal_text(total);
}

// Writes the plan's steps into the file, the fetched ones with one range request each.
class Assembly {
public:
    Assembly(platform::Platform& platform, const UpdateOffer& offer, platform::NewFile& file, HeldSource& base,
             std::span<std::uint8_t> buffer, const DownloadPlan& plan, DownloadProgress* progress)
        : platform_(platform), offer_(offer), file_(file), base_(base), buffer_(buffer), plan_(plan),
          progress_(progress), url_(offer.url) {}

    MapOutcome run(std::unique_ptr<platform::Download>& whole) {
        for (const PlanStep& step : plan_.steps) {
            const MapOutcome done = step.fetch ? fetch(step, whole) : copy(step);
            if (done != MapOutcome::assembled) return done;
        }
        return MapOutcome::assembled;
    }

    std::size_t requests() const { return requests_; }

private:
    // A GET of the step's bytes: first from where the last one came (a redirect's signed URL),
    // and again from the offer's URL when that one no longer answers.
    // One range GET, following redirects hop by hop, each hop meeting the URL rule; `url_` ends
    // where the answer came from.
    Expected<platform::RangeResponse, platform::DownloadFailure> get_range(const PlanStep& step, std::string& why) {
        for (int hop = 0;; ++hop) {
            ++requests_;
            auto response = platform_.network.get_range(url_, step.offset, step.offset + step.size - 1, kNetworkTimeoutMs);
            if (response || response.error().kind != platform::DownloadFailure::Kind::redirect || hop == kMaxRedirects) {
                return response;
            }
            const auto next = next_hop(url_, response.error(), why);
            if (!next) return response;
            url_ = *next;
        }
    }

    // The step's bytes from the base, a chunk at a time.
    MapOutcome copy(const PlanStep& step) {
        for (std::uint64_t done = 0; done < step.size;) {
            const auto chunk = chunk_of(buffer_, step.size - done);
            if (!base_.read(step.base_offset + done, chunk)) {
                return fall_back(platform_, "this program's own file can't be read");
            }
            if (file_.write(chunk) != 0) return fall_back(platform_, "the new file can't be written");
            done += chunk.size();
        }
        return MapOutcome::assembled;
    }

    MapOutcome fetch(const PlanStep& step, std::unique_ptr<platform::Download>& whole) {
        const std::uint64_t last = step.offset + step.size - 1;
        std::string why;
        auto response = get_range(step, why);
        const auto expired = [&] {
            return !response && response.error().kind == platform::DownloadFailure::Kind::status &&
                   (response.error().code == 403 || response.error().code == 404 || response.error().code == 410);
        };
        if (url_ != offer_.url && expired()) {
            url_ = offer_.url;
            response = get_range(step, why);
        }
        if (!why.empty()) return fall_back(platform_, concat({"a range request can't be used: ", why}));
        if (!response) {
            const platform::DownloadFailure& failure = response.error();
            return fall_back(platform_,
                             sentence("the server didn't answer a range request (%%)",
                                      {failure.kind == platform::DownloadFailure::Kind::status ? "status " : "error ",
                                       decimal_text(failure.code)}));
        }
        if (response->status == 200) {
            platform_.log->write("Downloading the whole installer:", "the server ignores range requests");
            whole = std::move(response->body);
            return MapOutcome::whole;
        }
        const auto announced = response->body->announced_size();
        if (!is_content_range(response->content_range, step.offset, last, offer_.release.size) ||
            (announced && *announced != step.size)) {
            return fall_back(platform_, sentence("the server answered a range request with another range (\"%\")",
                                                 {response->content_range}));
        }
        return receive(*response->body, step.size);
    }

    MapOutcome receive(platform::Download& body, std::uint64_t size) {
        std::uint64_t left = size;
        while (left > 0) {
            auto count = body.read(chunk_of(buffer_, left));
            if (!count || *count == 0) return fall_back(platform_, "the server cut a range short");
            if (file_.write(buffer_.first(*count)) != 0) return fall_back(platform_, "the new file can't be written");
            left -= *count;
            received_ += *count;
            if (progress_ != nullptr && !progress_->received(received_, plan_.fetched)) return MapOutcome::cancelled;
        }
        return MapOutcome::assembled;
    }

    platform::Platform& platform_;
    const UpdateOffer& offer_;
    platform::NewFile& file_;
    HeldSource& base_;
    std::span<std::uint8_t> buffer_;
    const DownloadPlan& plan_;
    DownloadProgress* progress_;
    std::string url_;
    std::uint64_t received_ = 0;
    std::size_t requests_ = 0;
};

}  // namespace

MapOutcome download_through_map(platform::Platform& platform, const UpdateOffer& offer, platform::NewFile& file,
                                DownloadProgress* progress, std::unique_ptr<platform::Download>& whole) {
    auto map_bytes = fetch_map(platform, offer);
    if (!map_bytes) return fall_back(platform, map_bytes.error().text);
    auto map = read_installer_map(*map_bytes);
    if (!map) return fall_back(platform, map.error().text);
    if (map->installer_size != offer.release.size || map->installer_sha256 != offer.release.sha256) {
        return fall_back(platform, "its map describes another installer than the feed");
    }
    // The running program's own file, which is the installed version's installer, held while it
    // is read: no one can change it meanwhile.
    auto own = platform.module.own_path();
    if (!own) return fall_back(platform, "this program's own file can't be found");
    auto held = platform.files.hold(*own);
    std::optional<std::uint64_t> base_size;
    if (held) {
        if (auto size = (*held)->size()) base_size = *size;
    }
    if (!base_size) return fall_back(platform, "this program's own file can't be read");
    HeldSource base(**held, *base_size);
    std::vector<std::uint8_t> buffer(kChunkSize);
    auto base_regions = hash_base(platform, base, buffer);
    if (!base_regions) return fall_back(platform, base_regions.error().text);
    const auto plan = plan_download(*map, *base_regions);
    if (!plan) return fall_back(platform, "it has too little in common with the installed version");
    Assembly assembly(platform, offer, file, base, buffer, *plan, progress);
    const MapOutcome outcome = assembly.run(whole);
    if (outcome == MapOutcome::assembled) {
        platform.log->write("Update assembled:",
                            sentence("reused % bytes, fetched % bytes (the map's % included) in % requests",
                                     {decimal_text(plan->reused), decimal_text(plan->fetched + map_bytes->size()),
                                      decimal_text(map_bytes->size()), decimal_text(assembly.requests() + 1)}));
    }
    return outcome;
}

}  // namespace plinth
