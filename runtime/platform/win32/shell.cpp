#include "platform/win32/shell.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <propsys.h>


#include "platform/win32/com_error.h"
#include "platform/win32/grown_text.h"
#include "platform/win32/system_library.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace plinth::platform::win32 {
namespace {

// Defined here rather than taken from libuuid, whose single object would bring every GUID of
// the SDK into the executable.
constexpr GUID kFolderUserProgramFiles = {
    0x5cd7aee2, 0x2219, 0x4a67, {0xb8, 0x5d, 0x6c, 0x9c, 0xe1, 0x56, 0x60, 0xcb}};
constexpr GUID kFolderPrograms = {
    0xa77f5d77, 0x2e2b, 0x44c3, {0xa6, 0xa2, 0xab, 0xa6, 0x01, 0x05, 0x4a, 0x51}};
constexpr GUID kFolderDesktop = {
    0xb4bfcc3a, 0xdb2c, 0x424c, {0xb0, 0x29, 0x7f, 0xe9, 0x9a, 0x87, 0xc6, 0x41}};
constexpr GUID kClassShellLink = {
    0x00021401, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID kInterfaceShellLinkW = {
    0x000214f9, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID kInterfacePersistFile = {
    0x0000010b, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID kInterfacePropertyStore = {
    0x886d8eeb, 0x8cf2, 0x4446, {0x8d, 0x02, 0xcd, 0xba, 0x1d, 0xbd, 0xcf, 0x99}};
// PKEY_AppUserModel_ID.
constexpr PROPERTYKEY kAppUserModelId = {
    {0x9f4c2855, 0x9f79, 0x4b39, {0xa8, 0xd0, 0xe1, 0xd4, 0x2d, 0xe1, 0xd5, 0xf3}}, 5};

const GUID& folder_id(KnownFolder folder) {
    switch (folder) {
        case KnownFolder::user_program_files: return kFolderUserProgramFiles;
        case KnownFolder::programs: return kFolderPrograms;
        case KnownFolder::desktop: return kFolderDesktop;
    }
    return kFolderDesktop;
}

// A failed shell call, made out of line rather than at each of its exits: the HRESULT with the
// description of the thread's error information when `described`, bare otherwise (a library or
// function that can't be had, an interface that came back null).
template <class T>
[[gnu::noinline]] Expected<T, ComError> failed(HResult code, bool described) {
    return unexpected(described ? com_error(code) : ComError{code, {}});
}

// System.AppUserModel.ID into the link's property store, committed so that Save writes it. The
// value points at the caller's text: nothing is allocated, so there is nothing to clear.
HRESULT set_app_user_model_id(IShellLinkW& link, const std::u16string& id) {
    ComPtr<IPropertyStore> store;
    HRESULT hr = link.QueryInterface(kInterfacePropertyStore, put_void(store));
    if (FAILED(hr)) return hr;
    if (!store) return E_POINTER;
    PROPVARIANT value = {};
    value.vt = VT_LPWSTR;
    value.pwszVal = const_cast<wchar_t*>(wide(id));
    hr = store->SetValue(kAppUserModelId, value);
    return FAILED(hr) ? hr : store->Commit();
}

}  // namespace

Expected<Path, ComError> Win32Shell::known_folder(KnownFolder folder, std::uint32_t flags) {
    enter_com_apartment();
    // The path comes in memory that only ole32 can free.
    if (auto loaded = ole32().module(); !loaded) return failed<Path>(library_hresult(loaded.error()), false);
    auto get_path = shell32().function<decltype(SHGetKnownFolderPath)>("SHGetKnownFolderPath");
    if (!get_path) return failed<Path>(library_hresult(get_path.error()), false);
    clear_com_error_info();
    UniqueCoTaskMem<wchar_t> path;
    HRESULT hr = (*get_path)(folder_id(folder), flags, nullptr, path.put());
    if (FAILED(hr)) return failed<Path>(hr, true);
    if (!path) return failed<Path>(E_POINTER, false);
    return from_wide(path.get());
}

Expected<void, ComError> Win32Shell::create_shortcut(const ShortcutSpec& wanted) {
    enter_com_apartment();
    auto create = ole32().function<decltype(CoCreateInstance)>("CoCreateInstance");
    if (!create) return failed<void>(library_hresult(create.error()), false);
    clear_com_error_info();
    ComPtr<IShellLinkW> link;
    HRESULT hr = (*create)(kClassShellLink, nullptr, CLSCTX_INPROC_SERVER, kInterfaceShellLinkW,
                           put_void(link));
    if (SUCCEEDED(hr) && !link) return failed<void>(0, false);

    // Each call only after the last one succeeded: the first failure is the one reported.
    if (SUCCEEDED(hr)) hr = link->SetPath(wide(wanted.target_path));
    if (SUCCEEDED(hr) && wanted.working_directory)
        hr = link->SetWorkingDirectory(wide(*wanted.working_directory));
    if (SUCCEEDED(hr)) hr = link->SetDescription(wide(wanted.description));
    if (SUCCEEDED(hr) && !wanted.app_user_model_id.empty())
        hr = set_app_user_model_id(*link.get(), wanted.app_user_model_id);
    ComPtr<IPersistFile> file;
    if (SUCCEEDED(hr)) hr = link->QueryInterface(kInterfacePersistFile, put_void(file));
    if (SUCCEEDED(hr)) {
        if (!file) return failed<void>(E_POINTER, false);
        hr = file->Save(wide(wanted.shortcut_path), TRUE);
    }
    if (FAILED(hr)) return failed<void>(hr, true);
    return {};
}

void Win32Shell::change_notify(std::int32_t event_id, std::uint32_t flags) {
    enter_com_apartment();
    // A notice that can't be sent changes nothing that was done.
    if (auto notify = shell32().function<decltype(SHChangeNotify)>("SHChangeNotify"))
        (*notify)(event_id, flags, nullptr, nullptr);
}

std::optional<std::u16string> Win32Shell::environment_variable(const std::u16string& name) {
    const auto value = grown_text(256, &name, [](const void* context, wchar_t* buffer, DWORD size) -> DWORD {
        SetLastError(ERROR_SUCCESS);
        return GetEnvironmentVariableW(wide(*static_cast<const std::u16string*>(context)), buffer, size);
    });
    if (value) return *value;
    // Zero with no error is a variable set to the empty text.
    if (value.error() == ERROR_SUCCESS) return std::u16string();
    return std::nullopt;
}

}  // namespace plinth::platform::win32
