#include "greeting.h"

#include <fstream>

std::string greeting_in(const std::filesystem::path& app_folder)
{
    std::ifstream file(app_folder / "data" / "greeting.txt");
    std::string line;
    if (!std::getline(file, line)) return {};
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}
