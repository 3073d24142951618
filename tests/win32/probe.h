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
std::string hex(std::uint32_t value);

void probe_registry(Context& context);
void probe_files(Context& context);
void probe_running_exe(Context& context);
void probe_shell(Context& context);
void probe_system(Context& context);
void probe_dialogs(Context& context);

}  // namespace probe
