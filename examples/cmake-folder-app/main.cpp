// greet.exe REPORT: writes to REPORT the greeting that greeting.dll reads from the data folder
// beside the exe. Exit codes: 0 written, 2 wrong command line, 3 REPORT can't be written,
// 4 no greeting.
#include <windows.h>

#include <fstream>

#include "greeting.h"

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    wchar_t exe[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 4;
    const std::string greeting = greeting_in(std::filesystem::path(exe).parent_path());
    if (greeting.empty()) return 4;
    std::ofstream report(argv[1], std::ios::binary);
    report << greeting << "\n";
    return report.flush() ? 0 : 3;
}
