// The system DLLs the layer calls into beyond kernel32 and advapi32, each loaded when first
// needed rather than by the loader at start-up.
//
// user32 and everything that brings it in (shell32, ole32, comctl32) cost a program more start-up
// time under Wine than a silent run that fails early spends on its own work, and a silent run
// never shows a page or an icon. The executable imports only KnownDLLs; these are loaded by name
// from the system folder alone (see SystemLibrary::module).
#pragma once

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include "platform/platform.h"
#include "platform/win32/unique_handle.h"

namespace plinth::platform::win32 {

struct ModuleTraits {
    using Type = HMODULE;
    static constexpr Type invalid() { return nullptr; }
    static bool is_valid(Type h) { return h != nullptr; }
    static void close(Type h) { FreeLibrary(h); }
};
using UniqueModule = UniqueHandle<ModuleTraits>;

// One DLL, loaded on the first call that needs it and freed when the program ends. A failed load
// is tried again by the next call.
class SystemLibrary {
public:
    explicit constexpr SystemLibrary(const char* file_name) : file_name_(file_name) {}
    // Nameless until system_library gives it one: the process's own libraries are zero-initialised,
    // so that they take no room in the file (system_library.cpp).
    constexpr SystemLibrary() = default;
    SystemLibrary(const SystemLibrary&) = delete;
    SystemLibrary& operator=(const SystemLibrary&) = delete;

    // The loaded module, or the error of LoadLibraryExW.
    SysResult<HMODULE> module();

    // An exported function, typed as the SDK declares it (`function<decltype(SHChangeNotify)>`),
    // or the error of loading the DLL or of GetProcAddress (ERROR_PROC_NOT_FOUND).
    template <class Function>
    SysResult<Function*> function(const char* name) {
        SysResult<FARPROC> address = address_of(name);
        if (!address) return unexpected(address.error());
        return reinterpret_cast<Function*>(reinterpret_cast<void*>(*address));
    }

private:
    friend SystemLibrary& system_library(int index);

    SysResult<FARPROC> address_of(const char* name);

    const char* file_name_ = nullptr;  // ASCII, as every system DLL's name is; at most 63 characters
    UniqueModule module_;
};

// The process's one owner of each library.
SystemLibrary& user32();
SystemLibrary& shell32();
SystemLibrary& ole32();
SystemLibrary& oleaut32();
SystemLibrary& comctl32();
// The update's libraries: downloads, hashes and signatures.
SystemLibrary& winhttp();
SystemLibrary& bcrypt();
SystemLibrary& wintrust();
SystemLibrary& crypt32();

// The COM apartment the program asked for (Session::initialize_com), entered by the calling
// thread before the first call of the layer that may use COM rather than at start-up: entering
// it loads ole32 and, with it, user32. The result is not looked at, as it never was; the thread
// leaves the apartment when the program ends, before ole32 is freed.
void request_com_apartment(DWORD coinit);
void enter_com_apartment();

// Memory the shell hands out with CoTaskMemAlloc (SHGetKnownFolderPath); ole32 is loaded
// whenever there is some to free.
template <class T>
struct CoTaskMemTraits {
    using Type = T*;
    static Type invalid() { return nullptr; }
    static bool is_valid(Type p) { return p != nullptr; }
    static void close(Type p) {
        if (auto free = ole32().function<decltype(CoTaskMemFree)>("CoTaskMemFree")) (*free)(p);
    }
};
template <class T>
using UniqueCoTaskMem = UniqueHandle<CoTaskMemTraits<T>>;

// A BSTR from the COM error information; oleaut32 is loaded whenever there is one.
struct BstrTraits {
    using Type = BSTR;
    static Type invalid() { return nullptr; }
    static bool is_valid(Type p) { return p != nullptr; }
    static void close(Type p) {
        if (auto free = oleaut32().function<decltype(SysFreeString)>("SysFreeString")) (*free)(p);
    }
};
using UniqueBstr = UniqueHandle<BstrTraits>;

// A failure to load or find a function as the HRESULT a COM-shaped call reports.
inline HResult library_hresult(ErrorCode error) {
    return static_cast<HResult>(HRESULT_FROM_WIN32(error));
}

}  // namespace plinth::platform::win32
