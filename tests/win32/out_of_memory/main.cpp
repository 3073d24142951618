// plinth-oom-probe.exe: the stub's operator new and throw functions, linked the way the stub
// links them, driven into each of their failures. The end-to-end test checks the exit code and
// the line on the standard error. A console program; not shipped.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

// Beyond any machine's memory, yet not a size the compiler knows to be impossible.
std::size_t huge() { return static_cast<std::size_t>(1) << 62 | GetCurrentProcessId(); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"new") {
        void* memory = ::operator new(huge());
        std::printf("operator new returned %p\n", memory);
    } else if (mode == L"array") {
        char* memory = new char[huge()];
        std::printf("new[] returned %p\n", static_cast<void*>(memory));
    } else if (mode == L"nothrow") {
        // Must say no and go on: the payload asks for its rooms this way.
        void* one = ::operator new(huge(), std::nothrow);
        char* many = new (std::nothrow) char[huge()];
        void* small = ::operator new(16, std::nothrow);
        std::printf("nothrow: %s %s %s\n", one ? "memory" : "null", many ? "memory" : "null",
                    small ? "memory" : "null");
        ::operator delete(small);
        return one == nullptr && many == nullptr && small != nullptr ? 0 : 3;
    } else if (mode == L"length") {
        std::vector<int> numbers;
        numbers.reserve(numbers.max_size() + 1);
        std::printf("reserve returned\n");
    } else if (mode == L"range") {
        const std::string text = "abc";
        std::printf("substr gave %s\n", text.substr(GetCurrentProcessId() + 4).c_str());
    } else {
        std::fprintf(stderr, "usage: plinth-oom-probe new|array|nothrow|length|range\n");
        return 2;
    }
    return 0;
}
