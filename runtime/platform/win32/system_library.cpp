#include "platform/win32/system_library.h"

#include <objbase.h>

#include <iterator>

namespace plinth::platform::win32 {

SysResult<HMODULE> SystemLibrary::module() {
    if (!module_) {
        // By name, not by full path: a name is what the activation context of the program's
        // manifest redirects, so comctl32 comes from the Common Controls 6 assembly (a full
        // path to system32 would give the old comctl32 5, which has no task dialog). Any name
        // the activation context doesn't redirect is searched for in the system folder alone,
        // never beside the installer.
        // The names are kept in ASCII, at half the bytes of UTF-16 ones, and widened here.
        wchar_t name[64];
        std::size_t length = 0;
        for (; length + 1 < std::size(name) && file_name_[length] != '\0'; ++length)
            name[length] = static_cast<unsigned char>(file_name_[length]);
        name[length] = L'\0';
        module_.reset(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
        if (!module_) return unexpected(static_cast<ErrorCode>(GetLastError()));
    }
    return module_.get();
}

SysResult<FARPROC> SystemLibrary::address_of(const char* name) {
    SysResult<HMODULE> loaded = module();
    if (!loaded) return unexpected(loaded.error());
    FARPROC address = GetProcAddress(*loaded, name);
    if (!address) return unexpected(static_cast<ErrorCode>(GetLastError()));
    return address;
}

namespace {

// The thread's COM apartment: asked for at start-up, entered on first need, left at the end.
class ComApartment {
public:
    void request(DWORD coinit) {
        coinit_ = coinit;
        requested_ = true;
    }

    void enter() {
        if (!requested_ || tried_) return;
        tried_ = true;
        auto initialize = ole32().function<decltype(CoInitializeEx)>("CoInitializeEx");
        if (initialize) entered_ = SUCCEEDED((*initialize)(nullptr, coinit_));
    }

    ~ComApartment() {
        if (!entered_) return;
        if (auto uninitialize = ole32().function<decltype(CoUninitialize)>("CoUninitialize"))
            (*uninitialize)();
    }

private:
    DWORD coinit_ = 0;
    bool requested_ = false;
    bool tried_ = false;
    bool entered_ = false;
};

// Static storage, destroyed when the program ends in the reverse order of these definitions, so
// the apartment is left while ole32 is still loaded. (The loader counts references between the
// libraries themselves: their own order doesn't matter.) All zero, so none of it is in the file.
constinit SystemLibrary libraries[9];
constinit ComApartment apartment;

// The libraries' names, in the order of `libraries`.
constexpr char kNames[] =
    "user32.dll\0ole32.dll\0oleaut32.dll\0shell32.dll\0comctl32.dll\0winhttp.dll\0bcrypt.dll\0"
    "wintrust.dll\0crypt32.dll";

}  // namespace

[[gnu::noinline]] SystemLibrary& system_library(int index) {
    const char* name = kNames;
    for (int i = 0; i < index; ++i) {
        while (*name++ != '\0') {}
    }
    libraries[index].file_name_ = name;
    return libraries[index];
}

SystemLibrary& user32() { return system_library(0); }
SystemLibrary& ole32() { return system_library(1); }
SystemLibrary& oleaut32() { return system_library(2); }
SystemLibrary& shell32() { return system_library(3); }
SystemLibrary& comctl32() { return system_library(4); }
SystemLibrary& winhttp() { return system_library(5); }
SystemLibrary& bcrypt() { return system_library(6); }
SystemLibrary& wintrust() { return system_library(7); }
SystemLibrary& crypt32() { return system_library(8); }

void request_com_apartment(DWORD coinit) { apartment.request(coinit); }
void enter_com_apartment() { apartment.enter(); }

}  // namespace plinth::platform::win32
