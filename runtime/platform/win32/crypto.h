// SHA-256 and random bytes with BCrypt, Authenticode with WinVerifyTrust: each loaded on first use.
#pragma once

#include "platform/platform.h"

namespace plinth::platform::win32 {

class Win32Crypto final : public Crypto {
public:
    Expected<std::unique_ptr<Hash>, std::uint32_t> sha256() override;
    ErrorCode random(std::span<std::uint8_t> into) override;
    Signature signature(const Path& file, HeldFile* held) override;
};

}  // namespace plinth::platform::win32
