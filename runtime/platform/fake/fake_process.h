// The running module (package resource, own path, icon), system message texts and the process
// session (command line, COM, standard error, clock, a second thread).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/fake/fault_plan.h"
#include "platform/platform.h"

namespace plinth::fake {

class FakeModule : public platform::Module {
public:
    explicit FakeModule(FaultPlan& faults) : faults_(faults) {}

    platform::SysResult<platform::ModuleHandle> own_handle() override;
    platform::PackageResource package_resource(platform::ModuleHandle module) override;
    platform::PackageResource files_resource(platform::ModuleHandle module) override;
    platform::PackageResource languages_resource(platform::ModuleHandle module) override;
    platform::PackageResource license_resource(platform::ModuleHandle module) override;
    platform::SysResult<Path> own_path() override;
    std::uint32_t system_dpi() override { return dpi; }
    std::optional<std::uintptr_t> load_app_icon(platform::ModuleHandle module, int side) override;
    void destroy_icon(std::uintptr_t icon) override;

    // The RCDATA 1 resource; nothing means the executable has none.
    std::optional<std::vector<std::uint8_t>> package;
    // When set, loading the resource fails with this last error.
    std::optional<platform::ErrorCode> package_load_error;
    // The RCDATA 2 resource (an app folder's other files), and its load error, likewise.
    std::optional<std::vector<std::uint8_t>> files;
    std::optional<platform::ErrorCode> files_load_error;
    // The RCDATA 3 resource (translated texts), and how often it was asked for.
    std::optional<std::vector<std::uint8_t>> languages;
    int languages_reads = 0;
    // The RCDATA 5 resource (the licence text).
    std::optional<std::string> license;
    Path path = u"C:\\Users\\Ann\\Downloads\\Setup.exe";
    std::uint32_t dpi = 96;
    bool icon_available = true;
    std::vector<int> icon_sides;  // side of every icon load, in order
    int live_icons = 0;           // loaded and not destroyed yet

    static constexpr platform::ModuleHandle kHandle = 0x140000000;
    static constexpr std::uintptr_t kIcon = 0x1C0DE;

private:
    FaultPlan& faults_;
};

class FakeSystemText : public platform::SystemText {
public:
    explicit FakeSystemText(FaultPlan& faults);
    platform::SysResult<std::u16string> format_message(std::uint32_t flags, bool from_ntdll,
                                                       std::uint32_t code, std::uint32_t language = 0) override;

    // Messages by code, with the CR LF the real table ends them with: the user's language's,
    // and those of English (US) where a test gives them (1815 for the others).
    std::map<std::uint32_t, std::u16string> messages;
    std::map<std::uint32_t, std::u16string> english_messages;
    std::map<std::uint32_t, std::u16string> ntdll_messages;
    struct Call {
        std::uint32_t flags;
        bool from_ntdll;
        std::uint32_t code;
        std::uint32_t language;
    };
    std::vector<Call> calls;

private:
    FaultPlan& faults_;
};

class FakeSession : public platform::Session {
public:
    explicit FakeSession(FaultPlan&) {}
    std::vector<std::u16string> arguments() override { return command_line; }
    void initialize_com(std::uint32_t coinit) override { com_initializations.push_back(coinit); }
    void write_standard_error(std::string_view bytes) override {
        if (has_standard_error) standard_error.append(bytes);
    }
    void write_standard_output(std::string_view bytes) override { standard_output.append(bytes); }
    platform::LocalDate local_date() override { return date; }
    platform::LocalTime local_time() override { return time; }
    // No thread here: each buffer is made when it is asked for, in the same order.
    std::unique_ptr<platform::WorkAhead> work_ahead(platform::BufferMaker& maker, std::size_t budget) override;
    std::string preferred_ui_languages() override { return ui_languages; }
    // No thread here either: the work runs whole the first time it is asked whether it has
    // finished, or when the worker is destroyed, whichever comes first.
    std::unique_ptr<platform::Worker> start_worker(void (*work)(void*), void* data) override;

    std::vector<std::u16string> command_line{u"C:\\Users\\Ann\\Downloads\\Setup.exe"};
    std::vector<std::uint32_t> com_initializations;
    std::string standard_error;
    std::string standard_output;
    bool has_standard_error = true;
    platform::LocalDate date{2026, 12, 7};
    platform::LocalTime time{{2026, 12, 7}, 9, 5, 3, 42};
    bool second_thread = true;  // false: work_ahead and start_worker give nothing, as when no thread starts
    int workers_started = 0;
    int work_aheads_started = 0;
    std::string ui_languages = "en-US";
};

}  // namespace plinth::fake
