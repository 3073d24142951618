#include "package/load_package.h"

#include <string>

#include "failures/message_failure.h"
#include "system_error/error_text.h"

namespace plinth {

Result<Package> load_installer_package(platform::Platform& platform) {
    const auto module = platform.module.own_handle();
    if (!module) return fail(com_error_text(platform.system_text, hresult_from_win32(module.error())));

    const platform::PackageResource resource = platform.module.package_resource(*module);
    switch (resource.state) {
        case platform::PackageResource::State::missing:
            return fail(Message::no_package);
        case platform::PackageResource::State::unloadable:
            return fail(com_error_text(platform.system_text, hresult_from_win32(resource.error)));
        case platform::PackageResource::State::found:
            break;
    }
    auto package = read_package(resource.bytes);
    if (!package) return package;

    const platform::PackageResource files = platform.module.files_resource(*module);
    switch (files.state) {
        case platform::PackageResource::State::missing:
            return package;
        case platform::PackageResource::State::unloadable:
            return fail(com_error_text(platform.system_text, hresult_from_win32(files.error)));
        case platform::PackageResource::State::found:
            break;
    }
    auto table = read_app_files(files.bytes);
    if (!table) return unexpected(std::move(table.error()));
    package->files = std::move(*table);
    return package;
}

}  // namespace plinth
