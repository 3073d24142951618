// The install page's folder picker: the shell's own file dialog, choosing folders.
#include <windows.h>
#include <shobjidl.h>

#include "platform/win32/dialogs.h"
#include "platform/win32/system_library.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace plinth::platform::win32 {
namespace {

// Defined here rather than taken from libuuid (see shell.cpp).
constexpr GUID kClassFileOpenDialog = {
    0xdc1c5a9c, 0xe88a, 0x4dde, {0xa5, 0xa1, 0x60, 0xf8, 0x2a, 0x20, 0xae, 0xf7}};
constexpr GUID kInterfaceFileOpenDialog = {
    0xd57c7288, 0xd4ad, 0x4768, {0xbe, 0x02, 0x9d, 0x96, 0x95, 0x32, 0xd9, 0x60}};
constexpr GUID kInterfaceShellItem = {
    0x43826d1e, 0xe718, 0x42ee, {0xbc, 0x55, 0xa1, 0xe2, 0x61, 0xc3, 0x7b, 0xfe}};

// Opens the picker at the folder, or the nearest one above it that exists: a fresh install's
// folder isn't made yet. A picker that can't be placed opens where the shell chooses.
void open_at(IFileOpenDialog& dialog, Path folder) {
    auto item_from = shell32().function<decltype(SHCreateItemFromParsingName)>("SHCreateItemFromParsingName");
    if (!item_from) return;
    for (;;) {
        ComPtr<IShellItem> item;
        if (SUCCEEDED((*item_from)(wide(folder), nullptr, kInterfaceShellItem, put_void(item))) && item) {
            dialog.SetFolder(item.get());
            return;
        }
        const std::size_t cut = folder.find_last_of(u'\\');
        if (cut == Path::npos || cut < 3) return;
        folder.resize(cut);
    }
}

}  // namespace

std::optional<Path> Win32Dialogs::pick_folder(WindowHandle owner, const Path& start) {
    enter_com_apartment();
    auto create = ole32().function<decltype(CoCreateInstance)>("CoCreateInstance");
    if (!create) return std::nullopt;
    ComPtr<IFileOpenDialog> dialog;
    HRESULT hr = (*create)(kClassFileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, kInterfaceFileOpenDialog, put_void(dialog));
    if (FAILED(hr) || !dialog) return std::nullopt;
    FILEOPENDIALOGOPTIONS options = 0;
    hr = dialog->GetOptions(&options);
    if (SUCCEEDED(hr)) hr = dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR);
    if (FAILED(hr)) return std::nullopt;
    open_at(*dialog.get(), start);
    // Cancelled, it says ERROR_CANCELLED: nothing was chosen either way.
    if (FAILED(dialog->Show(reinterpret_cast<HWND>(owner)))) return std::nullopt;
    ComPtr<IShellItem> chosen;
    UniqueCoTaskMem<wchar_t> path;
    if (FAILED(dialog->GetResult(chosen.put())) || !chosen ||
        FAILED(chosen->GetDisplayName(SIGDN_FILESYSPATH, path.put())) || !path) {
        return std::nullopt;
    }
    return from_wide(path.get());
}

}  // namespace plinth::platform::win32
