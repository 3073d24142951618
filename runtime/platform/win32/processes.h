// Starting programs with CreateProcessW.
#pragma once

#include "platform/platform.h"

namespace plinth::platform::win32 {

class Win32Processes final : public Processes {
public:
    ErrorCode start(const ProcessStart& start) override;
    SysResult<Path> system_folder() override;
    SysResult<std::uint32_t> run_and_wait(const ProcessStart& start, std::optional<std::uint32_t> timeout_ms) override;
    bool wait_for_parent(std::uint32_t timeout_ms) override;
    ClosedPrograms close_programs_in(const Path& folder, std::uint32_t timeout_ms) override;  // program_closing.cpp
};

}  // namespace plinth::platform::win32
