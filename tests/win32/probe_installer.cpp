// A packed installer read back by Windows' own resource and version functions, the way Explorer
// and the installer itself read it, and the bare stub started with an argument that isn't valid
// UTF-16.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "probe.h"
#include "platform/win32/unique_handle.h"

namespace probe {
namespace {

using plinth::platform::win32::UniqueFile;
using plinth::platform::win32::UniqueHandle;
using plinth::platform::win32::UniqueKernelHandle;
using plinth::platform::win32::wide;
using Bytes = std::vector<std::uint8_t>;

struct ModuleTraits {
    using Type = HMODULE;
    static Type invalid() { return nullptr; }
    static bool is_valid(Type h) { return h != nullptr; }
    static void close(Type h) { FreeLibrary(h); }
};
using UniqueModule = UniqueHandle<ModuleTraits>;

struct IconTraits {
    using Type = HICON;
    static Type invalid() { return nullptr; }
    static bool is_valid(Type h) { return h != nullptr; }
    static void close(Type h) { DestroyIcon(h); }
};
using UniqueIcon = UniqueHandle<IconTraits>;

std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t u32(const std::uint8_t* p) { return u16(p) | static_cast<std::uint32_t>(u16(p + 2)) << 16; }

// A resource's bytes, or nothing when the module has no such resource.
std::optional<Bytes> resource_bytes(HMODULE module, const wchar_t* name, const wchar_t* type) {
    HRSRC found = FindResourceW(module, name, type);
    if (found == nullptr) return std::nullopt;
    const DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const auto* bytes = loaded ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
    if (bytes == nullptr) return std::nullopt;
    return Bytes(bytes, bytes + size);
}

Bytes file_bytes(Context& context, const Path& path) {
    auto read = read_whole(context.windows.files, path);
    check(read.ok(), "read " + text(path), read.ok() ? "" : "error " + std::to_string(read.error()));
    return read.ok() ? *read : Bytes();
}

// One image of an icon: the fields its directory entry gives, and its bytes.
struct IconEntry {
    int width = 0;  // 0 in the entry means 256
    int height = 0;
    int colors = 0;
    int planes = 0;
    int bit_count = 0;
    std::uint16_t id = 0;  // group entries only
    Bytes data;
};

// The images of a .ico file, in file order; empty when the file isn't one.
std::vector<IconEntry> ico_images(const Bytes& file) {
    std::vector<IconEntry> images;
    if (file.size() < 6 || u16(&file[2]) != 1) return images;
    const std::size_t count = u16(&file[4]);
    for (std::size_t i = 0; i < count && 6 + 16 * (i + 1) <= file.size(); ++i) {
        const std::uint8_t* entry = &file[6 + 16 * i];
        const std::uint32_t size = u32(entry + 8);
        const std::uint32_t offset = u32(entry + 12);
        if (offset > file.size() || size > file.size() - offset) return {};
        images.push_back({entry[0] ? entry[0] : 256, entry[1] ? entry[1] : 256, entry[2], u16(entry + 4),
                          u16(entry + 6), 0, Bytes(file.begin() + offset, file.begin() + offset + size)});
    }
    return images;
}

void check_package(const Bytes& package, const InstallerExpectations& expected, Context& context) {
    if (!expected.package.empty()) {
        const Bytes wanted = file_bytes(context, expected.package);
        check(package == wanted, "RCDATA 1 holds exactly the package given to the packer",
              std::to_string(package.size()) + " bytes, expected " + std::to_string(wanted.size()));
    }
    if (expected.manifest.empty()) return;
    const Bytes manifest = file_bytes(context, expected.manifest);
    const Bytes app = file_bytes(context, expected.app);
    const bool header = package.size() >= 12 && std::memcmp(package.data(), "PLNSETUP", 8) == 0 &&
                        u32(&package[8]) == manifest.size() && package.size() - 12 >= manifest.size();
    check(header, "RCDATA 1 starts with PLNSETUP and the manifest's length");
    if (!header) return;
    check(std::equal(manifest.begin(), manifest.end(), package.begin() + 12),
          "RCDATA 1 holds the manifest byte for byte");
    // zlib's own one-call inflater, with the app's known size: the stream must end exactly at the
    // end of the resource and give the app back.
    const std::uint8_t* stream = package.data() + 12 + manifest.size();
    uLong stream_size = static_cast<uLong>(package.size() - 12 - manifest.size());
    Bytes inflated(app.size() + 1);
    uLongf inflated_size = static_cast<uLongf>(inflated.size());
    const int status = uncompress2(inflated.data(), &inflated_size, stream, &stream_size);
    inflated.resize(inflated_size);
    check(status == Z_OK && stream_size == package.size() - 12 - manifest.size() && inflated == app,
          "the rest of RCDATA 1 is one zlib stream of the app",
          "zlib status " + std::to_string(status) + ", " + std::to_string(inflated_size) + " bytes inflated");
}

void check_icons(HMODULE module, const InstallerExpectations& expected, Context& context) {
    const std::vector<IconEntry> wanted = ico_images(file_bytes(context, expected.icon));
    check(!wanted.empty(), "the expected .ico has images");
    auto group = resource_bytes(module, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
    const bool readable = group && group->size() >= 6 && u16(&(*group)[2]) == 1 &&
                          group->size() >= 6 + 14 * std::size_t{u16(&(*group)[4])};
    check(readable, "icon group 1 is there and well formed",
          group ? std::to_string(group->size()) + " bytes" : "FindResourceW found none");
    if (!readable) return;
    std::vector<IconEntry> entries;
    for (std::size_t i = 0; i < u16(&(*group)[4]); ++i) {
        const std::uint8_t* e = &(*group)[6 + 14 * i];
        IconEntry entry{e[0] ? e[0] : 256, e[1] ? e[1] : 256, e[2], u16(e + 4), u16(e + 6), u16(e + 12), {}};
        auto icon = resource_bytes(module, MAKEINTRESOURCEW(entry.id), RT_ICON);
        check(icon && icon->size() == u32(e + 8), "icon " + std::to_string(entry.id) + " is there with the size its entry gives");
        if (icon) entry.data = std::move(*icon);
        entries.push_back(std::move(entry));
    }
    check(entries.size() == wanted.size(), "icon group 1 has as many images as the .ico",
          std::to_string(entries.size()) + ", expected " + std::to_string(wanted.size()));
    for (std::size_t i = 0; i < std::min(entries.size(), wanted.size()); ++i) {
        const IconEntry& got = entries[i];
        const IconEntry& want = wanted[i];
        const std::string which = "image " + std::to_string(i + 1) + " (" + std::to_string(want.width) + " px)";
        check(got.width == want.width && got.height == want.height && got.colors == want.colors &&
                  got.planes == want.planes && got.bit_count == want.bit_count,
              which + ": its group entry matches the .ico's",
              std::to_string(got.width) + "x" + std::to_string(got.height) + ", " + std::to_string(got.bit_count) + " bits");
        check(got.data == want.data, which + ": its bytes are the .ico's");
        UniqueIcon icon(CreateIconFromResourceEx(const_cast<BYTE*>(got.data.data()), static_cast<DWORD>(got.data.size()), TRUE,
                                                 0x00030000, 0, 0, LR_DEFAULTCOLOR));
        ICONINFO info{};
        BITMAP bitmap{};
        const bool made = icon && GetIconInfo(icon.get(), &info) &&
                          GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        check(made && bitmap.bmWidth == want.width, which + ": CreateIconFromResourceEx makes an icon of its size",
              made ? std::to_string(bitmap.bmWidth) + " wide" : "no icon");
        // Windows' own choice from the group for this size is an image of this size.
        const int chosen = LookupIconIdFromDirectoryEx(group->data(), TRUE, want.width, want.height, LR_DEFAULTCOLOR);
        const auto match = std::find_if(entries.begin(), entries.end(), [&](const IconEntry& e) { return e.id == chosen; });
        check(match != entries.end() && match->width == want.width,
              which + ": LookupIconIdFromDirectoryEx picks an image of this size", "id " + std::to_string(chosen));
    }
}

std::u16string version_string(const Bytes& record, const std::u16string& block, const char16_t* key) {
    void* value = nullptr;
    UINT length = 0;
    const std::u16string path = u"\\StringFileInfo\\" + block + u"\\" + key;
    if (!VerQueryValueW(record.data(), wide(path), &value, &length) || value == nullptr) return u"(missing)";
    std::u16string result(static_cast<const char16_t*>(value), length);
    while (!result.empty() && result.back() == u'\0') result.pop_back();
    return result;
}

void check_version(const InstallerExpectations& expected) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(wide(expected.installer), &ignored);
    check(size != 0, "GetFileVersionInfoSizeW finds a version record", "error " + std::to_string(GetLastError()));
    if (size == 0) return;
    Bytes record(size);
    check(GetFileVersionInfoW(wide(expected.installer), 0, size, record.data()), "GetFileVersionInfoW reads it");

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixed_size = 0;
    check(VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size) && fixed &&
              fixed_size >= sizeof *fixed && fixed->dwSignature == 0xFEEF04BD,
          "its fixed part carries the version signature");

    // The string block named by the first translation, as Explorer picks it.
    struct Translation {
        WORD language;
        WORD code_page;
    };
    Translation* translations = nullptr;
    UINT translations_size = 0;
    const bool translated = VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation",
                                           reinterpret_cast<void**>(&translations), &translations_size) &&
                            translations && translations_size >= sizeof(Translation);
    check(translated, "it names a translation");
    if (!translated) return;
    char block[16];
    std::snprintf(block, sizeof block, "%04x%04x", translations->language, translations->code_page);
    const std::u16string name = plinth::to_utf16(block);
    const std::pair<const char16_t*, std::u16string> strings[] = {
        {u"ProductName", expected.name},
        {u"ProductVersion", expected.version},
        {u"CompanyName", expected.publisher},
        {u"FileDescription", expected.name + u" Setup"},
    };
    for (const auto& [key, value] : strings) {
        const std::u16string got = version_string(record, name, key);
        check(got == value, "VerQueryValueW " + text(name) + "\\" + text(key),
              "\"" + text(got) + "\", expected \"" + text(value) + "\"");
    }
}

}  // namespace

void read_installer(Context& context, const InstallerExpectations& expected) {
    UniqueModule module(LoadLibraryExW(wide(expected.installer), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    check(static_cast<bool>(module), "LoadLibraryExW loads the installer as an image resource",
          module ? "" : "error " + std::to_string(GetLastError()));
    if (!module) return;
    auto package = resource_bytes(module.get(), MAKEINTRESOURCEW(1), RT_RCDATA);
    check(package.has_value(), "FindResourceW finds RCDATA 1");
    if (package) check_package(*package, expected, context);
    if (!expected.icon.empty()) check_icons(module.get(), expected, context);
    if (expected.check_version) check_version(expected);
}

// The real stub, started with an unpaired surrogate alone and glued to a switch, and with /S: it
// must neither crash nor take the broken arguments for switches; the silent run then reports the
// missing package on the standard error it was given.
void run_with_unpaired_surrogates(Context& context, const Path& stub) {
    const Path output = plinth::join_path(context.work, u"surrogate-stderr.txt");
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueFile stderr_file(CreateFileW(wide(output), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    check(static_cast<bool>(stderr_file), "create a file for the stub's standard error");
    if (!stderr_file) return;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = stderr_file.get();
    std::u16string command = u"\"" + stub + u"\" ";
    command += char16_t{0xD800};
    command += u" /uninstall";
    command += char16_t{0xDC00};
    command += u" /S ";
    command += char16_t{0xDBFF};
    PROCESS_INFORMATION started{};
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    const bool ran = CreateProcessW(wide(stub), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                    &started);
    check(ran, "start the stub with unpaired surrogates in its arguments", "error " + std::to_string(GetLastError()));
    if (!ran) return;
    UniqueKernelHandle process(started.hProcess);
    UniqueKernelHandle thread(started.hThread);
    // A dialog would mean /S was lost: it never closes by itself.
    const bool ended = WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(process.get(), 99);
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    check(ended && code == 1, "it ends by itself with exit code 1", hex(code));
    stderr_file.reset();
    auto written = read_whole(context.windows.files, output);
    const std::string got = written.ok() ? std::string(written->begin(), written->end()) : "(unreadable)";
    check(got == "setup: It has nothing in it to install.\n",
          "the silent run reports the missing package on standard error", got);
}

}  // namespace probe
