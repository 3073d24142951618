// Move-only ownership of Windows handles, one resource policy per handle kind.
//
// A `Traits` type names the handle type, its invalid value and how to close it. Closing keeps
// the thread's last error, so a cleanup on a failure path never hides the error being reported.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <utility>

namespace plinth::platform::win32 {

template <class Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Type get() const { return handle_; }
    bool valid() const { return Traits::is_valid(handle_); }
    explicit operator bool() const { return valid(); }

    Type release() { return std::exchange(handle_, Traits::invalid()); }

    void reset(Type handle = Traits::invalid()) {
        Type old = std::exchange(handle_, handle);
        if (Traits::is_valid(old)) {
            DWORD error = GetLastError();
            Traits::close(old);
            SetLastError(error);
        }
    }

    // For out-parameters: closes the handle held now, then lends the slot to the call.
    Type* put() {
        reset();
        return &handle_;
    }

    Type operator->() const { return handle_; }

private:
    Type handle_ = Traits::invalid();
};

// Kernel objects that use INVALID_HANDLE_VALUE for "none" (CreateFileW).
struct FileTraits {
    using Type = HANDLE;
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static bool is_valid(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void close(Type h) { CloseHandle(h); }
};
using UniqueFile = UniqueHandle<FileTraits>;

// Kernel objects that use null for "none" (process and thread handles).
struct KernelTraits {
    using Type = HANDLE;
    static Type invalid() { return nullptr; }
    static bool is_valid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Type h) { CloseHandle(h); }
};
using UniqueKernelHandle = UniqueHandle<KernelTraits>;

struct HkeyTraits {
    using Type = HKEY;
    static Type invalid() { return nullptr; }
    static bool is_valid(Type h) { return h != nullptr; }
    static void close(Type h) { RegCloseKey(h); }
};
using UniqueHkey = UniqueHandle<HkeyTraits>;

struct FindTraits {
    using Type = HANDLE;
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static bool is_valid(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void close(Type h) { FindClose(h); }
};
using UniqueFind = UniqueHandle<FindTraits>;

// Memory from LocalAlloc (CommandLineToArgvW).
template <class T>
struct LocalMemTraits {
    using Type = T*;
    static Type invalid() { return nullptr; }
    static bool is_valid(Type p) { return p != nullptr; }
    static void close(Type p) { LocalFree(p); }
};
template <class T>
using UniqueLocalMem = UniqueHandle<LocalMemTraits<T>>;

// A COM interface pointer, released once.
template <class Interface>
struct ComTraits {
    using Type = Interface*;
    static Type invalid() { return nullptr; }
    static bool is_valid(Type p) { return p != nullptr; }
    static void close(Type p) { p->Release(); }
};
template <class Interface>
using ComPtr = UniqueHandle<ComTraits<Interface>>;

// The out-parameter of CoCreateInstance and QueryInterface.
template <class Interface>
void** put_void(ComPtr<Interface>& pointer) {
    return reinterpret_cast<void**>(pointer.put());
}

// The process's own pseudo handle, which GetCurrentProcess returns: a constant that Windows'
// headers themselves write inline for its siblings (GetCurrentProcessToken), so not an import.
inline HANDLE current_process() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

}  // namespace plinth::platform::win32
