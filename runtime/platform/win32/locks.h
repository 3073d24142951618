// Named mutexes between the processes of one session.
#pragma once

#include "platform/platform.h"

namespace plinth::platform::win32 {

class Win32Locks final : public Locks {
public:
    Expected<std::unique_ptr<HeldLock>, ErrorCode> acquire(const std::u16string& name, std::uint32_t timeout_ms) override;
};

}  // namespace plinth::platform::win32
