// Known folders, shortcuts, shell notifications and the environment.
#pragma once

#include "platform/platform.h"

namespace plinth::platform::win32 {

class Win32Shell final : public Shell {
public:
    Expected<Path, ComError> known_folder(KnownFolder folder, std::uint32_t flags) override;
    Expected<void, ComError> create_shortcut(const ShortcutSpec& wanted) override;
    void change_notify(std::int32_t event_id, std::uint32_t flags) override;
    std::optional<std::u16string> environment_variable(const std::u16string& name) override;
};

}  // namespace plinth::platform::win32
