// Known folders, shortcuts (written as files into the fake file system), shell notifications,
// environment variables and started processes.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/fake/fake_files.h"
#include "platform/fake/fault_plan.h"
#include "platform/platform.h"

namespace plinth::fake {

class FakeShell : public platform::Shell {
public:
    FakeShell(FaultPlan& faults, FakeFiles& files);

    Expected<Path, platform::ComError> known_folder(platform::KnownFolder folder,
                                                    std::uint32_t flags) override;
    Expected<void, platform::ComError> create_shortcut(const platform::ShortcutSpec& wanted) override;
    void change_notify(std::int32_t event_id, std::uint32_t flags) override;
    std::optional<std::u16string> environment_variable(const std::u16string& name) override;

    // Setup and inspection, for tests.
    void set_known_folder(platform::KnownFolder folder, Path path);
    // The lookup of `folder` fails with this HRESULT (and the optional error description).
    void fail_known_folder(platform::KnownFolder folder, platform::HResult code,
                           std::u16string description = {});
    void set_environment(const std::u16string& name, std::optional<std::u16string> value);
    // The text a shortcut file holds: its target, working folder, description and AppUserModelID
    // (when it has one), one per line.
    static std::string shortcut_file_text(const platform::ShortcutSpec& wanted);

    struct Notification {
        std::int32_t event_id;
        std::uint32_t flags;
    };
    std::vector<std::uint32_t> known_folder_flags;  // flags of every lookup, in order
    std::vector<platform::ShortcutSpec> shortcuts;   // every shortcut saved, in order
    std::vector<Notification> notifications;

private:
    struct FolderEntry {
        std::optional<Path> path;
        platform::ComError failure;
    };
    FaultPlan& faults_;
    FakeFiles& files_;
    std::map<platform::KnownFolder, FolderEntry> folders_;
    std::map<std::u16string, std::u16string> environment_;
};

class FakeProcesses : public platform::Processes {
public:
    explicit FakeProcesses(FaultPlan& faults) : faults_(faults) {}
    platform::ErrorCode start(const platform::ProcessStart& start) override;
    platform::SysResult<Path> system_folder() override;
    // Records the start in `started` and a time limit in `bounded_waits`; the child is `on_run`,
    // which gives its exit code, or nothing for a child that outlives the limit and is ended
    // (recorded in `ended` too). Without it the child exits with 0.
    platform::SysResult<std::uint32_t> run_and_wait(const platform::ProcessStart& start,
                                                    std::optional<std::uint32_t> timeout_ms) override;
    bool wait_for_parent(std::uint32_t timeout_ms) override;
    // Asks each of `running` whose exe lies in the folder (case-blind): those that close go.
    platform::ClosedPrograms close_programs_in(const Path& folder, std::uint32_t timeout_ms) override;
    struct Running {
        Path exe;
        bool closes = true;  // on WM_CLOSE; one that doesn't is never ended
    };
    std::vector<Running> running;
    std::vector<std::uint32_t> closing_waits;  // the timeout of each close_programs_in
    std::vector<platform::ProcessStart> started;
    std::function<std::optional<std::uint32_t>(const platform::ProcessStart&)> on_run;
    std::vector<std::uint32_t> bounded_waits;
    std::vector<platform::ProcessStart> ended;
    bool parent_exits = true;
    std::vector<std::uint32_t> parent_waits;  // the timeout of each wait_for_parent
    Path system_folder_path = u"C:\\Windows\\system32";

private:
    FaultPlan& faults_;
};

}  // namespace plinth::fake
