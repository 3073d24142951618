// An update's installer assembled from the installed one and range requests, through the
// release's map: what it can copy from the running uninstall.exe (a full copy of the installed
// version's installer) it copies, the rest it fetches. Whatever goes wrong here, short of the
// user's cancelling, means only that the installer is downloaded whole, as without a map.
#pragma once

#include <cstdint>
#include <memory>

#include "common/text.h"
#include "platform/platform.h"
#include "updates/update_steps.h"

namespace plinth {

enum class MapOutcome {
    assembled,  // `file` holds the new installer, not yet checked
    whole,      // the server sent the whole file for a range: `whole` is that download
    fall_back,  // download the installer whole, as without a map (the log says why)
    cancelled,
};

// Fetches the offer's map and writes the new installer into `file`, from the
// base and single-range GETs. The log says why it falls back, or what it reused and fetched.
MapOutcome download_through_map(platform::Platform& platform, const UpdateOffer& offer, platform::NewFile& file,
                                DownloadProgress* progress, std::unique_ptr<platform::Download>& whole);

}  // namespace plinth
