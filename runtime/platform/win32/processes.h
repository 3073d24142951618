// Starting programs with CreateProcessW.
#pragma once

#include "platform/platform.h"

namespace plinth::platform::win32 {

class Win32Processes final : public Processes {
public:
    ErrorCode start(const ProcessStart& start) override;
    SysResult<Path> system_folder() override;
};

}  // namespace plinth::platform::win32
