// How the stub's C++ runtime fails, the stub being built without exceptions: operator new and
// the functions the standard library calls to throw. Linked into plinth-setup.exe only.
//
// Why they are ours: libstdc++'s operator new throws std::bad_alloc, and its containers throw
// std::length_error and the like through std::__throw_*. Either brings the library's exception
// machinery (unwinder, personality routine, exception allocator, type information, the
// exception classes and their strings) into a program that catches nothing: some 30 KiB.
//
// Why ending the process is safe: every allocation whose size comes from the package or the
// registry is bounded before it is made, and too much input is refused with its own message
// (the manifest's size, the app files' count and paths, each file against its stream, the
// payload's rooms, which are asked for without failing first). What still fails here is a
// machine out of memory, or a fault of ours; the stub can do nothing better then than stop: one
// line on the standard error when there is one, and the exit code of a failed run. No crash
// dialog, and nothing of ours runs after it (static destructors, COM, the loader's detach).
#include <windows.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>

#include "entry/exit_code.h"
#include "platform/win32/unique_handle.h"

namespace plinth::platform::win32 {
namespace {

void append(char* line, std::size_t capacity, std::size_t& length, const char* text, std::size_t count) {
    count = count < capacity - length ? count : capacity - length;
    std::memcpy(line + length, text, count);
    length += count;
}

// "setup: {sentence}" or "setup: Internal error ({where})." on the standard error, then the end.
// Composed without allocating: memory may be what ran out.
[[noreturn]] void end_process(const char* sentence, const char* where) noexcept {
    HANDLE stream = GetStdHandle(STD_ERROR_HANDLE);
    if (stream != nullptr && stream != INVALID_HANDLE_VALUE) {
        char line[256];
        std::size_t length = 0;
        const auto add = [&](const char* text, std::size_t count) { append(line, sizeof line - 1, length, text, count); };
        add("setup: ", 7);
        if (sentence != nullptr) {
            add(sentence, std::strlen(sentence));
        } else {
            // The library's text up to its details: "basic_string::substr: __pos (which is %zu)..."
            if (where == nullptr) where = "";
            std::size_t named = 0;
            while (where[named] != '\0' && (where[named] != ':' || where[named + 1] != ' ')) ++named;
            add("Internal error (", 16);
            add(where, named);
            add(").", 2);
        }
        line[length++] = '\n';
        DWORD written = 0;
        WriteFile(stream, line, static_cast<DWORD>(length), &written, nullptr);
    }
    // Not ExitProcess: that runs the DLLs' detach and the static destructors in whatever state
    // the failure left, and a destructor that allocates would come back here.
    TerminateProcess(current_process(), static_cast<UINT>(exit_code_value(ExitCode::failed)));
    for (;;) WaitForSingleObject(current_process(), INFINITE);  // not reached: the process ends with its threads
}

[[noreturn]] void out_of_memory() noexcept { end_process("Out of memory.", nullptr); }

[[noreturn]] void internal_error(const char* where) noexcept { end_process(nullptr, where); }

// malloc gives nothing for zero bytes on some C runtimes; new must give a unique pointer.
void* allocate(std::size_t size) noexcept { return std::malloc(size != 0 ? size : 1); }

}  // namespace
}  // namespace plinth::platform::win32

using plinth::platform::win32::allocate;
using plinth::platform::win32::internal_error;
using plinth::platform::win32::out_of_memory;

void* operator new(std::size_t size) {
    if (void* memory = allocate(size)) return memory;
    out_of_memory();
}
void* operator new[](std::size_t size) {
    if (void* memory = allocate(size)) return memory;
    out_of_memory();
}
// libstdc++'s nothrow forms call the throwing ones and catch: these must stay able to say no.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

// Every function of the library's member that defines them (one left out would bring that
// member along, and its definitions would clash with these), and std::function's.
namespace std {
void __throw_bad_alloc() { out_of_memory(); }
void __throw_bad_array_new_length() { out_of_memory(); }
void __throw_bad_exception() { internal_error("bad_exception"); }
void __throw_bad_cast() { internal_error("bad_cast"); }
void __throw_bad_typeid() { internal_error("bad_typeid"); }
void __throw_bad_function_call() { internal_error("bad_function_call"); }
void __throw_logic_error(const char* what) { internal_error(what); }
void __throw_domain_error(const char* what) { internal_error(what); }
void __throw_invalid_argument(const char* what) { internal_error(what); }
void __throw_length_error(const char* what) { internal_error(what); }
void __throw_out_of_range(const char* what) { internal_error(what); }
void __throw_out_of_range_fmt(const char* format, ...) {
    // The library's formats start with the function's name: "%s: __pos (which is %zu) > ...".
    if (format[0] == '%' && format[1] == 's') {
        std::va_list arguments;
        va_start(arguments, format);
        const char* function = va_arg(arguments, const char*);
        va_end(arguments);
        internal_error(function);
    }
    internal_error(format);
}
void __throw_runtime_error(const char* what) { internal_error(what); }
void __throw_range_error(const char* what) { internal_error(what); }
void __throw_overflow_error(const char* what) { internal_error(what); }
void __throw_underflow_error(const char* what) { internal_error(what); }
}  // namespace std
