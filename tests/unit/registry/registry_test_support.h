// Helpers shared by the registry tests.
#pragma once

#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"

namespace plinth::testing_support {

// The fallible calls of the last run, e.g. "registry.create_key Software\Classes\x".
inline std::vector<std::string> registry_calls(const fake::FaultPlan& faults) {
    std::vector<std::string> calls;
    for (const auto& entry : faults.call_log()) {
        if (entry.rfind("registry.", 0) == 0) calls.push_back(entry);
    }
    return calls;
}

// What a failure of that call reads like: its subject is the key path or the value name.
inline std::string failure_text_for(const std::string& call, std::uint32_t code) {
    const auto space = call.find(' ');
    const std::string subject = space == std::string::npos ? "" : call.substr(space + 1);
    return "Can't write to the registry (" + subject + ", error " + std::to_string(code) + ").";
}

// A Shell that forwards to the fake one and notes how many keys were open at each notification.
class NotificationSpy : public platform::Shell {
public:
    explicit NotificationSpy(fake::FakePlatform& fake) : fake_(fake) {}
    Expected<Path, platform::ComError> known_folder(platform::KnownFolder folder, std::uint32_t flags) override {
        return fake_.shell.known_folder(folder, flags);
    }
    Expected<void, platform::ComError> create_shortcut(const platform::ShortcutSpec& wanted) override {
        return fake_.shell.create_shortcut(wanted);
    }
    void change_notify(std::int32_t event_id, std::uint32_t flags) override {
        open_keys_at_notification.push_back(fake_.registry.open_keys());
        fake_.shell.change_notify(event_id, flags);
    }
    std::optional<std::u16string> environment_variable(const std::u16string& name) override {
        return fake_.shell.environment_variable(name);
    }
    platform::Platform platform() {
        return {fake_.registry, fake_.files, *this, fake_.processes, fake_.dialogs,
                fake_.module, fake_.system_text, fake_.session, fake_.network, fake_.crypto, fake_.locks};
    }
    std::vector<int> open_keys_at_notification;

private:
    fake::FakePlatform& fake_;
};

}  // namespace plinth::testing_support
