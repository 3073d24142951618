// UTF-16 texts between the seam (char16_t) and Windows (wchar_t, 16-bit on Windows).
#pragma once

#include <string>
#include <string_view>
#include <utility>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows uses 16-bit wide characters");

namespace plinth::platform::win32 {

// The NUL-terminated wide view of a seam text.
inline const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

// A text or null: for optional arguments that Windows takes as a null pointer.
inline const wchar_t* wide_or_null(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

// A Windows text seen as a seam text, without a copy (for what only reads it).
inline std::u16string_view wide_view(const wchar_t* text, std::size_t count) {
    return {reinterpret_cast<const char16_t*>(text), count};
}
inline std::u16string_view wide_view(const wchar_t* text) {
    return reinterpret_cast<const char16_t*>(text);
}

// A text buffer for Windows to write into (the text's own terminating NUL lies beyond it).
inline wchar_t* wide_buffer(std::u16string& buffer) { return reinterpret_cast<wchar_t*>(buffer.data()); }

// The buffer cut to the `length` units Windows wrote: the buffer itself, without a copy.
inline std::u16string filled(std::u16string& buffer, std::size_t length) {
    buffer.resize(length);
    return std::move(buffer);
}

inline std::u16string from_wide(const wchar_t* text, std::size_t count) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), count);
}

// Measured with char16_t's traits, as wide_view is: msvcrt's wcslen would be one import more.
inline std::u16string from_wide(const wchar_t* text) {
    return text ? std::u16string(wide_view(text)) : std::u16string();
}

}  // namespace plinth::platform::win32
