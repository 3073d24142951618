// The running executable: its handle, its package resource, its file, its icon.
#pragma once

#include "platform/platform.h"

namespace plinth::platform::win32 {

class Win32Module final : public Module {
public:
    SysResult<ModuleHandle> own_handle() override;
    PackageResource package_resource(ModuleHandle module) override;
    PackageResource files_resource(ModuleHandle module) override;
    PackageResource languages_resource(ModuleHandle module) override;
    PackageResource license_resource(ModuleHandle module) override;
    SysResult<Path> own_path() override;
    std::uint32_t system_dpi() override;
    std::optional<std::uintptr_t> load_app_icon(ModuleHandle module, int side) override;
    void destroy_icon(std::uintptr_t icon) override;
};

}  // namespace plinth::platform::win32
