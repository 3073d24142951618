// Downloads with WinHTTP, loaded on first use.
#pragma once

#include "platform/platform.h"

namespace plinth::platform::win32 {

class Win32Network final : public Network {
public:
    Win32Network() = default;
    Win32Network(const Win32Network&) = delete;
    Win32Network& operator=(const Win32Network&) = delete;
    ~Win32Network();
    Expected<std::unique_ptr<Download>, DownloadFailure> get(const std::string& url, std::uint32_t timeout_ms) override;
    Expected<RangeResponse, DownloadFailure> get_range(const std::string& url, std::uint64_t first, std::uint64_t last,
                                                       std::uint32_t timeout_ms) override;
    std::uint64_t milliseconds() override;

private:
    // The WinHTTP session (an HINTERNET) of every request, opened on the first: connections
    // are kept alive within it.
    void* session_ = nullptr;
};

}  // namespace plinth::platform::win32
