// Downloads with WinHTTP, loaded on first use.
#pragma once

#include "platform/platform.h"

namespace plinth::platform::win32 {

class Win32Network final : public Network {
public:
    Expected<std::unique_ptr<Download>, DownloadFailure> get(const std::string& url, std::uint32_t timeout_ms) override;
    Expected<RangeResponse, DownloadFailure> get_range(const std::string& url, std::uint64_t first, std::uint64_t last,
                                                       std::uint32_t timeout_ms) override;
    std::uint64_t milliseconds() override;
};

}  // namespace plinth::platform::win32
