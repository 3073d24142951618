#include <cctype>
#include <cwchar>
#include <chrono>
#include <cstring>
#include <thread>

#include "probe.h"

#include <shellapi.h>

#include "common/command_line_split.h"
#include "platform/win32/system_library.h"
#include "platform/win32/unique_handle.h"

namespace probe {
namespace {

// The layer splits its command line itself: it must agree with the system's own splitting on
// the cases where the rules are least obvious.
void probe_command_line_split() {
    const wchar_t* const lines[] = {
        L"setup.exe",
        L"\"C:\\Program Files\\Setup.exe\" /S",
        L"\"C:\\dir\\\"x y",
        L"\"prog\"x y",
        L"a\"b c\"d e",
        L"\" a b",
        L"\"\" x",
        L" x y",
        L"p\tx",
        L"p  /S \t--uninstall  ",
        L"p \"a\tb\" a\nb",
        L"p a\"b\"c \"unclosed part",
        L"p \"\" \"\"",
        L"p \"\"\"",
        L"p \"\"\"\"",
        L"p \"\"\"\" x",
        L"p \"\"\"\"\"\" x",
        L"p \"a\"\"b c\"",
        L"p \"a\"\"\"b c\"",
        L"p \"say \\\"hi\\\"\"",
        L"p \\\"",
        L"p \\\"\" x",
        L"p a\\\\\\\"b",
        L"p a\\\\\"b c\"",
        L"p a\\b\\\\c\\",
        L"p \"trailing\\\\\"",
        L"p \"C:\\Program Files\\App\\\\\" /S",
        L"p \xD800x \"\xDC00 \U0001F600\"",
    };
    int agreed = 0;
    for (const wchar_t* line : lines) {
        int count = 0;
        plinth::platform::win32::UniqueLocalMem<LPWSTR> system(CommandLineToArgvW(line, &count));
        std::vector<std::u16string> expected;
        for (int i = 0; system && i < count; ++i)
            expected.push_back(plinth::platform::win32::from_wide(system.get()[i]));
        const std::vector<std::u16string> split =
            plinth::split_command_line(plinth::platform::win32::from_wide(line));
        if (split == expected) {
            ++agreed;
            continue;
        }
        std::string detail = std::to_string(split.size()) + " arguments, the system's " +
                             std::to_string(expected.size()) + ":";
        for (const auto& argument : expected) detail += " [" + text(argument) + "]";
        check(false, "split_command_line agrees with CommandLineToArgvW on " +
                         text(plinth::platform::win32::from_wide(line)), detail);
    }
    check(agreed == static_cast<int>(std::size(lines)),
          "split_command_line agrees with CommandLineToArgvW",
          std::to_string(agreed) + " of " + std::to_string(std::size(lines)) + " lines");
}

// plinth-planted.dll lies beside the probe: the default search finds it there, the layer's
// system-folder-only search must not.
void probe_planted_library() {
    HMODULE planted = LoadLibraryW(L"plinth-planted.dll");
    check(planted != nullptr, "the default search loads plinth-planted.dll from beside the probe",
          planted ? "" : "error " + std::to_string(GetLastError()));
    if (planted) FreeLibrary(planted);
    plinth::platform::win32::SystemLibrary library("plinth-planted.dll");
    auto loaded = library.module();
    check(!loaded.ok() && loaded.error() == ERROR_MOD_NOT_FOUND,
          "a SystemLibrary doesn't load it (ERROR_MOD_NOT_FOUND)",
          loaded.ok() ? "loaded" : std::to_string(loaded.error()));
    // Each of the process's libraries is the DLL its name says, and asking again gives the same.
    using namespace plinth::platform::win32;
    const struct {
        SystemLibrary& (*library)();
        const wchar_t* name;
    } libraries[] = {{user32, L"user32.dll"},     {ole32, L"ole32.dll"},     {oleaut32, L"oleaut32.dll"},
                     {shell32, L"shell32.dll"},   {comctl32, L"comctl32.dll"}, {winhttp, L"winhttp.dll"},
                     {bcrypt, L"bcrypt.dll"},     {wintrust, L"wintrust.dll"}, {crypt32, L"crypt32.dll"}};
    for (const auto& row : libraries) {
        auto first = row.library().module();
        auto again = row.library().module();
        wchar_t path[MAX_PATH] = L"";
        if (first.ok()) GetModuleFileNameW(*first, path, MAX_PATH);
        const std::size_t length = std::wcslen(path), name_length = std::wcslen(row.name);
        check(first.ok() && again.ok() && *again == *first && length > name_length &&
                  path[length - name_length - 1] == L'\\' &&
                  _wcsicmp(path + length - name_length, row.name) == 0,
              "the system library " + text(from_wide(row.name)) + " is that DLL",
              first.ok() ? text(from_wide(path)) : "error " + std::to_string(first.error()));
    }
    auto function = plinth::platform::win32::user32().function<int WINAPI()>("NoSuchFunction");
    check(!function.ok() && function.error() == ERROR_PROC_NOT_FOUND,
          "a function user32 doesn't export is ERROR_PROC_NOT_FOUND",
          function.ok() ? "found" : std::to_string(function.error()));
}

}  // namespace

using plinth::join_path;
using plinth::platform::PackageResource;

void probe_system(Context& context) {
    auto& windows = context.windows;
    probe_planted_library();

    // Module: the probe carries an RCDATA 1 and an icon group 1 of its own.
    auto module = windows.module.own_handle();
    check(module.ok() && *module == reinterpret_cast<std::uintptr_t>(GetModuleHandleW(nullptr)),
          "own_handle is the executable's module");
    if (module.ok()) {
        PackageResource package = windows.module.package_resource(*module);
        const char expected[] = "PLNSETUP-probe";
        check(package.state == PackageResource::State::found &&
                  package.bytes.size() == sizeof expected - 1 &&
                  std::memcmp(package.bytes.data(), expected, sizeof expected - 1) == 0,
              "package_resource finds RCDATA 1 with its exact bytes",
              std::to_string(package.bytes.size()) + " bytes");
        PackageResource none = windows.module.package_resource(
            reinterpret_cast<std::uintptr_t>(GetModuleHandleW(L"kernel32.dll")));
        check(none.state == PackageResource::State::missing,
              "a module without RCDATA 1 is missing");
        for (int side : {16, 32, 40, 48, 64}) {
            auto icon = windows.module.load_app_icon(*module, side);
            ICONINFO info{};
            BITMAP bitmap{};
            bool sized = icon && GetIconInfo(reinterpret_cast<HICON>(*icon), &info) &&
                         GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap,
                                    &bitmap);
            if (info.hbmColor) DeleteObject(info.hbmColor);
            if (info.hbmMask) DeleteObject(info.hbmMask);
            check(sized && bitmap.bmWidth == side,
                  "load_app_icon at " + std::to_string(side) + " pixels",
                  sized ? std::to_string(bitmap.bmWidth) + " wide" : "no icon");
            if (icon) {
                windows.module.destroy_icon(*icon);
                check(!GetIconInfo(reinterpret_cast<HICON>(*icon), &info),
                      "destroy_icon at " + std::to_string(side) + " pixels: the handle is gone");
            }
        }
        check(!windows.module.load_app_icon(
                  reinterpret_cast<std::uintptr_t>(GetModuleHandleW(L"kernel32.dll")), 32),
              "a module without icon group 1 gives no icon");
    }
    std::uint32_t dpi = windows.module.system_dpi();
    check(dpi >= 96, "system_dpi", std::to_string(dpi));

    // System texts.
    auto access = windows.system_text.format_message(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, false, ERROR_ACCESS_DENIED);
    check(access.ok() && !access->empty(), "format_message of error 5",
          access.ok() ? text(*access) : std::to_string(access.error()));
    auto com = windows.system_text.format_message(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, false, 0x80070057u);
    check(com.ok() && !com->empty(), "format_message of E_INVALIDARG",
          com.ok() ? text(*com) : std::to_string(com.error()));
    auto english = windows.system_text.format_message(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, false, ERROR_ACCESS_DENIED,
        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    check(english.ok() && text(*english).starts_with("Access"), "format_message of error 5 in English",
          english.ok() ? text(*english) : std::to_string(english.error()));
    std::uint8_t random[8] = {};
    check(windows.crypto.random(random) == 0, "random bytes from RtlGenRandom");
    auto unknown = windows.system_text.format_message(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, false, 0x2FFFFFFFu);
    check(!unknown.ok() && unknown.error() == ERROR_MR_MID_NOT_FOUND,
          "an unknown code is FormatMessageW's ERROR_MR_MID_NOT_FOUND",
          unknown.ok() ? text(*unknown) : std::to_string(unknown.error()));
    auto nt = windows.system_text.format_message(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        true, 0xC0000022u);
    note("NTDLL text of 0xC0000022: " +
         (nt.ok() ? text(*nt) : "error " + std::to_string(nt.error())));

    // Session.
    auto arguments = windows.session.arguments();
    check(!arguments.empty() && arguments[0].find(u"plinth-win32-probe") != std::u16string::npos,
          "arguments begin with the program's own path",
          arguments.empty() ? "none" : text(arguments[0]));
    if (!context.options.expected_arguments.empty()) {
        // The arguments after --expect-args, as Wine quoted them into the command line.
        std::vector<std::u16string> tail;
        bool seen = false;
        for (const auto& argument : arguments) {
            if (seen) tail.push_back(argument);
            if (argument == u"--expect-args") seen = true;
        }
        check(tail == context.options.expected_arguments,
              "arguments are split by the usual Windows rules",
              std::to_string(tail.size()) + " after --expect-args");
    }
    probe_command_line_split();
    HRESULT second = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    check(second == RPC_E_CHANGED_MODE, "initialize_com made the thread apartment-threaded",
          hex(static_cast<std::uint32_t>(second)));
    if (SUCCEEDED(second)) CoUninitialize();
    windows.session.write_standard_error("probe: standard error\nsecond line\n");
    auto date = windows.session.local_date();
    char today[16];
    std::snprintf(today, sizeof today, "%04d-%02d-%02d", date.year, date.month, date.day);
    if (!context.options.today.empty())
        check(context.options.today == today, "local_date is today", today);
    else
        check(date.year >= 2024 && date.month >= 1 && date.month <= 12 && date.day >= 1 &&
                  date.day <= 31,
              "local_date is a date", today);

    // Processes: the system folder, and a windowless cmd.exe from it, run there, with an
    // inherited environment.
    auto system = windows.processes.system_folder();
    check(system.ok(), "system_folder", system.ok() ? "" : "failed");
    if (!system.ok()) return;
    std::string lower_system = plinth::to_utf8(*system);
    for (char& c : lower_system) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    check(lower_system.size() > 9 && lower_system.compare(lower_system.size() - 9, 9, "\\system32") == 0 &&
              windows.files.metadata(join_path(*system, u"cmd.exe")).ok(),
          "system_folder is the system32 folder with cmd.exe", lower_system);
    Path marker = join_path(context.work, u"cmd-ran.txt");
    SetEnvironmentVariableW(L"PLINTH_PROBE_MARK", L"inherited");
    plinth::platform::ProcessStart start;
    start.application = join_path(*system, u"cmd.exe");
    start.current_directory = *system;
    start.command_line = u"\"cmd.exe\" /c echo %PLINTH_PROBE_MARK% %CD%> \"" + marker + u"\"";
    start.creation_flags = CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT;
    start.inherit_handles = true;
    check_code(windows.processes.start(start), 0, "start the system's cmd.exe");
    std::vector<std::uint8_t> written;
    for (int i = 0; i < 100 && written.size() < 10 + system->size(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        auto read = read_whole(windows.files, marker);
        if (read.ok()) written = *read;
    }
    std::string got(written.begin(), written.end());
    std::string lower_got = got;
    for (char& c : lower_got) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    check(lower_got.rfind("inherited " + lower_system, 0) == 0,
          "the child ran in the given current directory with the environment inherited", got);

    // A child that outlasts run_and_wait's limit is ended before the call returns: the line it
    // would write after its pause never comes.
    Path late = join_path(context.work, u"cmd-late.txt");
    start.command_line = u"\"cmd.exe\" /c ping -n 4 127.0.0.1 >NUL & echo late> \"" + late + u"\"";
    auto waited = windows.processes.run_and_wait(start, 300);
    check(!waited.ok() && waited.error() == WAIT_TIMEOUT, "run_and_wait gives up with WAIT_TIMEOUT");
    std::this_thread::sleep_for(std::chrono::milliseconds(4000));
    check(!windows.files.metadata(late).ok(), "and the child it gave up on was ended");
}

}  // namespace probe
