#include "platform/win32/module.h"

#include <windows.h>
#include <commctrl.h>


#include "platform/win32/grown_text.h"
#include "platform/win32/system_library.h"
#include "platform/win32/wide.h"

namespace plinth::platform::win32 {

SysResult<ModuleHandle> Win32Module::own_handle() {
    HMODULE module = GetModuleHandleW(nullptr);
    if (!module) return unexpected(static_cast<ErrorCode>(GetLastError()));
    return reinterpret_cast<ModuleHandle>(module);
}

namespace {

PackageResource rcdata_resource(ModuleHandle handle, WORD id) {
    HMODULE module = reinterpret_cast<HMODULE>(handle);
    PackageResource result;
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
    if (!resource) {
        result.state = PackageResource::State::missing;
        result.error = static_cast<ErrorCode>(GetLastError());
        return result;
    }
    DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) {
        result.state = PackageResource::State::unloadable;
        result.error = static_cast<ErrorCode>(GetLastError());
        return result;
    }
    // A module's resources stay mapped until the process ends.
    result.state = PackageResource::State::found;
    result.bytes = {static_cast<const std::uint8_t*>(bytes), size};
    return result;
}

}  // namespace

PackageResource Win32Module::package_resource(ModuleHandle handle) { return rcdata_resource(handle, 1); }

PackageResource Win32Module::files_resource(ModuleHandle handle) { return rcdata_resource(handle, 2); }

PackageResource Win32Module::languages_resource(ModuleHandle handle) { return rcdata_resource(handle, 3); }

PackageResource Win32Module::license_resource(ModuleHandle handle) { return rcdata_resource(handle, 5); }

SysResult<Path> Win32Module::own_path() {
    return grown_text(MAX_PATH, nullptr, [](const void*, wchar_t* buffer, DWORD size) -> DWORD {
        const DWORD length = GetModuleFileNameW(nullptr, buffer, size);
        // A full buffer means the path was cut short: twice the room, up to the longest path.
        if (length == 0 || length < size) return length;
        if (size >= 0x10000) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        return size * 2;
    });
}

std::uint32_t Win32Module::system_dpi() {
    // Windows 10 1607 and later; earlier systems are taken to run at 96 dpi.
    // Looked up on each call (rarely made): a function-local static would bring in the
    // thread-safe initialisation guard.
    const auto get_dpi = user32().function<UINT WINAPI()>("GetDpiForSystem");
    return get_dpi ? (*get_dpi)() : USER_DEFAULT_SCREEN_DPI;
}

std::optional<std::uintptr_t> Win32Module::load_app_icon(ModuleHandle module, int side) {
    // comctl32 6 (the manifest's activation context selects it) is the first to have it.
    auto load = comctl32().function<decltype(LoadIconWithScaleDown)>("LoadIconWithScaleDown");
    if (!load) return std::nullopt;
    HICON icon = nullptr;
    HRESULT hr =
        (*load)(reinterpret_cast<HINSTANCE>(module), MAKEINTRESOURCEW(1), side, side, &icon);
    if (FAILED(hr) || !icon) return std::nullopt;
    return reinterpret_cast<std::uintptr_t>(icon);
}

void Win32Module::destroy_icon(std::uintptr_t icon) {
    // An icon was loaded, so user32 is too.
    if (auto destroy = user32().function<decltype(DestroyIcon)>("DestroyIcon"))
        (*destroy)(reinterpret_cast<HICON>(icon));
}

}  // namespace plinth::platform::win32
