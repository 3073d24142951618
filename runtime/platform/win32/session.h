// The process itself: command line, COM, standard error, clock.
#pragma once

#include "platform/platform.h"

namespace plinth::platform::win32 {

class Win32Session final : public Session {
public:
    std::vector<std::u16string> arguments() override;
    void initialize_com(std::uint32_t coinit) override;
    void write_standard_error(std::string_view bytes) override;
    void write_standard_output(std::string_view bytes) override;
    LocalDate local_date() override;
    LocalTime local_time() override;
    std::unique_ptr<WorkAhead> work_ahead(BufferMaker& maker, std::size_t budget) override;
    std::unique_ptr<Worker> start_worker(void (*work)(void*), void* data) override;
    std::string preferred_ui_languages() override;
};

}  // namespace plinth::platform::win32
