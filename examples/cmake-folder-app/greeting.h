// greeting.dll: the app's own library.
#pragma once

#include <filesystem>
#include <string>

#ifdef GREETING_BUILD
#define GREETING_API __declspec(dllexport)
#else
#define GREETING_API __declspec(dllimport)
#endif

// The first line of data/greeting.txt in the app's folder, or an empty string when it can't be read.
GREETING_API std::string greeting_in(const std::filesystem::path& app_folder);
