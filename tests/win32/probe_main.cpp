#include <cstdio>
#include <cstring>
#include <thread>

#include "probe.h"

namespace probe {
namespace {
int failures = 0;
int checks = 0;
}  // namespace

void check(bool passed, const std::string& what, const std::string& detail) {
    ++checks;
    if (!passed) ++failures;
    std::printf("%s %s%s%s\n", passed ? "ok  " : "FAIL", what.c_str(), detail.empty() ? "" : ": ",
                detail.c_str());
    std::fflush(stdout);
}

void check_code(ErrorCode actual, ErrorCode expected, const std::string& what) {
    check(actual == expected, what,
          actual == expected ? std::string()
                             : "got " + std::to_string(actual) + ", expected " +
                                   std::to_string(expected));
}

void note(const std::string& line) {
    std::printf("      %s\n", line.c_str());
    std::fflush(stdout);
}

std::string text(std::u16string_view units) { return plinth::to_utf8(units); }

std::string hex(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", value);
    return buffer;
}

}  // namespace probe

int wmain(int argc, wchar_t** argv) {
    using namespace probe;
    Options options;
    InstallerExpectations installer;
    Path surrogate_stub;
    const auto next = [&](int& i) { return plinth::platform::win32::from_wide(argv[++i]); };
    for (int i = 1; i < argc; ++i) {
        std::u16string argument = plinth::platform::win32::from_wide(argv[i]);
        // The installer modes: --read-installer INSTALLER [--package FILE] [--manifest FILE --app
        // FILE] [--icon FILE.ico] [--version NAME VERSION PUBLISHER]; --surrogate-stub STUB.
        if (i + 1 < argc) {
            if (argument == u"--read-installer") { installer.installer = next(i); continue; }
            if (argument == u"--package") { installer.package = next(i); continue; }
            if (argument == u"--manifest") { installer.manifest = next(i); continue; }
            if (argument == u"--app") { installer.app = next(i); continue; }
            if (argument == u"--icon") { installer.icon = next(i); continue; }
            if (argument == u"--surrogate-stub") { surrogate_stub = next(i); continue; }
        }
        if (argument == u"--version" && i + 3 < argc) {
            installer.check_version = true;
            installer.name = next(i);
            installer.version = next(i);
            installer.publisher = next(i);
            continue;
        }
        if (argument == u"--sleep" && i + 1 < argc) {
            // The child of the running-program checks: it only has to exist for a while.
            std::this_thread::sleep_for(std::chrono::milliseconds(_wtoi(argv[i + 1])));
            return 0;
        }
        if (argument == u"--date" && i + 1 < argc) {
            options.today = text(plinth::platform::win32::from_wide(argv[++i]));
        } else if (argument == u"--dialogs") {
            options.dialogs = true;
        } else if (argument == u"--expect-args") {
            for (++i; i < argc; ++i)
                options.expected_arguments.push_back(plinth::platform::win32::from_wide(argv[i]));
        }
    }

    plinth::platform::win32::Win32Platform windows;
    windows.session.initialize_com(COINIT_APARTMENTTHREADED);

    // A fresh folder of our own under the temporary folder.
    std::vector<wchar_t> temp(MAX_PATH + 1);
    DWORD length = GetTempPathW(static_cast<DWORD>(temp.size()), temp.data());
    if (length == 0 || length >= temp.size()) {
        std::printf("FAIL no temporary folder (error %lu)\n", GetLastError());
        return 1;
    }
    Path work = plinth::join_path(plinth::platform::win32::from_wide(temp.data(), length),
                                  u"plinth-probe-" + plinth::to_utf16(std::to_string(GetCurrentProcessId())));
    if (!CreateDirectoryW(plinth::platform::win32::wide(work), nullptr)) {
        std::printf("FAIL can't create %s (error %lu)\n", text(work).c_str(), GetLastError());
        return 1;
    }
    Context context{windows, work, options};

    if (!installer.installer.empty() || !surrogate_stub.empty()) {
        if (!installer.installer.empty()) {
            std::printf("== %s\n", text(installer.installer).c_str());
            read_installer(context, installer);
        }
        if (!surrogate_stub.empty()) {
            std::printf("== the stub with unpaired surrogates in its arguments\n");
            run_with_unpaired_surrogates(context, surrogate_stub);
        }
        std::printf("%d checks, %d failed\n", checks, failures);
        return failures == 0 ? 0 : 1;
    }

    std::printf("== registry\n");
    probe_registry(context);
    std::printf("== files\n");
    probe_files(context);
    std::printf("== a running program's file\n");
    probe_running_exe(context);
    std::printf("== shell\n");
    probe_shell(context);
    std::printf("== module, system texts, session, processes\n");
    probe_system(context);
    std::printf("== file names that differ only in case\n");
    probe_case(context);
    std::printf("== work ahead on a second thread\n");
    probe_work_ahead(context);
    std::printf("== task dialog\n");
    probe_dialogs(context);

    std::printf("%d checks, %d failed\n", checks, failures);
    return failures == 0 ? 0 : 1;
}
