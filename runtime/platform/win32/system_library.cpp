#include "platform/win32/system_library.h"

#include <objbase.h>

namespace plinth::platform::win32 {

SysResult<HMODULE> SystemLibrary::module() {
    if (!module_) {
        // By name, not by full path: a name is what the activation context of the program's
        // manifest redirects, so comctl32 comes from the Common Controls 6 assembly (a full
        // path to system32 would give the old comctl32 5, which has no task dialog). Any name
        // the activation context doesn't redirect is searched for in the system folder alone,
        // never beside the installer.
        module_.reset(LoadLibraryExW(file_name_, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
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
// libraries themselves: their own order doesn't matter.)
constinit SystemLibrary user32_library(L"user32.dll");
constinit SystemLibrary ole32_library(L"ole32.dll");
constinit SystemLibrary oleaut32_library(L"oleaut32.dll");
constinit SystemLibrary shell32_library(L"shell32.dll");
constinit SystemLibrary comctl32_library(L"comctl32.dll");
constinit SystemLibrary winhttp_library(L"winhttp.dll");
constinit SystemLibrary bcrypt_library(L"bcrypt.dll");
constinit SystemLibrary wintrust_library(L"wintrust.dll");
constinit SystemLibrary crypt32_library(L"crypt32.dll");
constinit ComApartment apartment;

}  // namespace

SystemLibrary& user32() { return user32_library; }
SystemLibrary& shell32() { return shell32_library; }
SystemLibrary& ole32() { return ole32_library; }
SystemLibrary& oleaut32() { return oleaut32_library; }
SystemLibrary& comctl32() { return comctl32_library; }
SystemLibrary& winhttp() { return winhttp_library; }
SystemLibrary& bcrypt() { return bcrypt_library; }
SystemLibrary& wintrust() { return wintrust_library; }
SystemLibrary& crypt32() { return crypt32_library; }

void request_com_apartment(DWORD coinit) { apartment.request(coinit); }
void enter_com_apartment() { apartment.enter(); }

}  // namespace plinth::platform::win32
