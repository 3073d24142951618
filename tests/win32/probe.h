// plinth-win32-probe: runs each Win32 implementation of the seam against the real system (a Wine
// prefix in the e2e tests) and compares what it did with what an independent call reads back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace probe {

using plinth::Path;
using plinth::platform::ErrorCode;

// What the probe was started with, from its own command line.
struct Options {
    std::vector<std::u16string> expected_arguments;  // after --expect-args
    std::string today;                               // YYYY-MM-DD after --date
    bool dialogs = false;                            // --dialogs: a display is there
};

// What --read-installer compares a packed installer with; empty paths are not checked.
struct InstallerExpectations {
    Path installer;
    Path package;   // RCDATA 1 byte for byte (raw mode)
    Path manifest;  // RCDATA 1 as the packer builds it: this manifest and a zlib stream of `app`
    Path app;
    Path icon;      // icon group 1 holds this .ico's images, in order
    bool check_version = false;
    std::u16string name, version, publisher;  // the version record's strings
};

struct Context {
    plinth::platform::win32::Win32Platform& windows;
    Path work;  // an empty folder of the probe's own
    Options options;
};

// Records one check; the probe's exit code counts the failures.
void check(bool passed, const std::string& what, const std::string& detail = {});
void check_code(ErrorCode actual, ErrorCode expected, const std::string& what);
void note(const std::string& text);

std::string text(std::u16string_view units);
// A whole file through the layer's open_for_reading, the way the installer reads one.
plinth::platform::SysResult<std::vector<std::uint8_t>> read_whole(plinth::platform::Files& files, const Path& path);
std::string hex(std::uint32_t value);

void probe_registry(Context& context);
void probe_files(Context& context);
void probe_running_exe(Context& context);
void probe_shell(Context& context);
void probe_system(Context& context);
void probe_dialogs(Context& context);
void probe_work_ahead(Context& context);
void probe_case(Context& context);

// The installer modes: each returns after its own checks.
void read_installer(Context& context, const InstallerExpectations& expected);
void run_with_unpaired_surrogates(Context& context, const Path& stub);

}  // namespace probe
