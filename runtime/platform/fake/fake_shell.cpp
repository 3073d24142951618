#include "platform/fake/fake_shell.h"

#include "common/text.h"
#include "common/upper_case.h"

namespace plinth::fake {

using platform::ComError;
using platform::KnownFolder;

FakeShell::FakeShell(FaultPlan& faults, FakeFiles& files) : faults_(faults), files_(files) {
    set_known_folder(KnownFolder::user_program_files, u"C:\\Users\\Ann\\AppData\\Local\\Programs");
    set_known_folder(KnownFolder::programs,
                     u"C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs");
    set_known_folder(KnownFolder::desktop, u"C:\\Users\\Ann\\Desktop");
    set_environment(u"LOCALAPPDATA", u"C:\\Users\\Ann\\AppData\\Local");
}

void FakeShell::set_known_folder(KnownFolder folder, Path path) {
    folders_[folder] = FolderEntry{std::move(path), {}};
}

void FakeShell::fail_known_folder(KnownFolder folder, platform::HResult code,
                                  std::u16string description) {
    folders_[folder] = FolderEntry{std::nullopt, ComError{code, std::move(description)}};
}

void FakeShell::set_environment(const std::u16string& name, std::optional<std::u16string> value) {
    if (value) {
        environment_[ascii_lower(name)] = *value;
    } else {
        environment_.erase(ascii_lower(name));
    }
}

Expected<Path, ComError> FakeShell::known_folder(KnownFolder folder, std::uint32_t flags) {
    known_folder_flags.push_back(flags);
    if (auto code = faults_.check("shell.known_folder")) {
        return unexpected(ComError{static_cast<platform::HResult>(*code), {}});
    }
    const FolderEntry& entry = folders_[folder];
    if (!entry.path) return unexpected(entry.failure);
    constexpr std::uint32_t kCreate = 0x00008000;  // KF_FLAG_CREATE
    if (flags & kCreate) files_.add_folder(*entry.path);
    return *entry.path;
}

std::string FakeShell::shortcut_file_text(const platform::ShortcutSpec& wanted) {
    std::string text = "target=" + to_utf8(wanted.target_path) + "\n";
    if (wanted.working_directory) text += "working directory=" + to_utf8(*wanted.working_directory) + "\n";
    text += "description=" + to_utf8(wanted.description) + "\n";
    if (!wanted.app_user_model_id.empty()) text += "app user model id=" + to_utf8(wanted.app_user_model_id) + "\n";
    return text;
}

Expected<void, ComError> FakeShell::create_shortcut(const platform::ShortcutSpec& wanted) {
    if (auto code = faults_.check("shell.create_shortcut", wanted.shortcut_path)) {
        return unexpected(ComError{static_cast<platform::HResult>(*code), {}});
    }
    const std::string text = shortcut_file_text(wanted);
    const auto written = files_.write_file(
        wanted.shortcut_path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    if (written != platform::codes::kSuccess) {
        // IPersistFile::Save reports a file-system failure as the HRESULT of the Win32 error.
        return unexpected(ComError{static_cast<platform::HResult>(0x80070000u | (written & 0xFFFF)), {}});
    }
    shortcuts.push_back(wanted);
    return {};
}

void FakeShell::change_notify(std::int32_t event_id, std::uint32_t flags) {
    notifications.push_back({event_id, flags});
}

std::optional<std::u16string> FakeShell::environment_variable(const std::u16string& name) {
    auto it = environment_.find(ascii_lower(name));
    if (it == environment_.end()) return std::nullopt;
    return it->second;
}

platform::ErrorCode FakeProcesses::start(const platform::ProcessStart& start) {
    if (auto code = faults_.check("processes.start", start.command_line)) return *code;
    started.push_back(start);
    return platform::codes::kSuccess;
}

platform::SysResult<std::uint32_t> FakeProcesses::run_and_wait(const platform::ProcessStart& start,
                                                               std::optional<std::uint32_t> timeout_ms) {
    if (auto code = faults_.check("processes.run_and_wait", start.command_line)) return unexpected(*code);
    started.push_back(start);
    if (timeout_ms) bounded_waits.push_back(*timeout_ms);
    const std::optional<std::uint32_t> exit_code = on_run ? on_run(start) : 0u;
    if (exit_code) return *exit_code;
    ended.push_back(start);
    return unexpected(platform::ErrorCode{258});
}

platform::ClosedPrograms FakeProcesses::close_programs_in(const Path& folder, std::uint32_t timeout_ms) {
    closing_waits.push_back(timeout_ms);
    const std::u16string inside = upper_case(folder + u"\\");
    platform::ClosedPrograms result;
    std::vector<Running> left;
    for (Running& program : running) {
        if (!upper_case(program.exe).starts_with(inside)) {
            left.push_back(program);
            continue;
        }
        ++result.asked;
        if (!program.closes) {
            ++result.still_running;
            left.push_back(program);
        }
    }
    running = std::move(left);
    return result;
}

bool FakeProcesses::wait_for_parent(std::uint32_t timeout_ms) {
    parent_waits.push_back(timeout_ms);
    return parent_exits;
}

platform::SysResult<Path> FakeProcesses::system_folder() {
    if (auto code = faults_.check("processes.system_folder")) return unexpected(*code);
    return system_folder_path;
}

}  // namespace plinth::fake
