#include "common/upper_case.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace plinth {
namespace {

TEST(UpperCase, MapsEachUnitAsWindowsComparesNames) {
    const struct {
        char16_t unit, upper;
    } cases[] = {
        {u'a', u'A'},       {u'z', u'Z'},       {u'A', u'A'},        {u'{', u'{'},
        {0x00E9, 0x00C9},   {0x00F7, 0x00F7},   {0x00FF, 0x0178},    // ÷ is no letter; ÿ leaves Latin-1
        {0x0142, 0x0141},   {0x0141, 0x0141},   {0x017A, 0x0179},    // ł, Ł, ź: alternating runs
        {0x0131, 0x0131},   {0x017F, 0x017F},   {0x00B5, 0x00B5},    // dotless i, long s, micro sign: one way only
        {0x00DF, 0x00DF},   {0x1E9E, 0x1E9E},   {0x212A, 0x212A},    // ß and ẞ have no simple upper; Kelvin sign
        {0x03C2, 0x03C2},   {0x03C3, 0x03A3},   {0x01C5, 0x01C5},    // final sigma, sigma, titlecase Dž
        {0x01C6, 0x01C4},   {0x0450, 0x0400},   {0x0561, 0x0531},    // dž, Cyrillic ѐ, Armenian
        {0x1D79, 0xA77D},   {0x2C65, 0x023A},   {0xFF41, 0xFF21},    // deltas past half the BMP; fullwidth
        {0xA7D9, 0xA7D8},   {0xD801, 0xD801},   {0xFFFF, 0xFFFF},    // a late addition; a surrogate; the end
        {0x0000, 0x0000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(static_cast<unsigned>(upper_case(c.unit)), static_cast<unsigned>(c.upper))
            << std::hex << static_cast<unsigned>(c.unit);
    }
    EXPECT_EQ(upper_case(u"\u0141\u00F3d\u017A.exe"), u"\u0141\u00D3D\u0179.EXE");
}

// Every unit against the Unicode data, as Windows keeps it (only the mappings that go both ways):
// the table's packing (runs, steps, the distances by index) read back as the data says.
TEST(UpperCase, EveryUnitMapsAsTheUnicodeDataSays) {
    std::ifstream data("/usr/share/unicode/UnicodeData.txt");
    ASSERT_TRUE(data) << "package unicode-data";
    std::map<unsigned, unsigned> upper, lower;
    for (std::string line; std::getline(data, line);) {
        std::vector<std::string> fields(1);
        for (char c : line) {
            if (c == ';') {
                fields.emplace_back();
            } else {
                fields.back() += c;
            }
        }
        if (fields.size() < 15) continue;
        const unsigned code = std::stoul(fields[0], nullptr, 16);
        if (!fields[12].empty()) upper[code] = std::stoul(fields[12], nullptr, 16);
        if (!fields[13].empty()) lower[code] = std::stoul(fields[13], nullptr, 16);
    }
    int wrong = 0;
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
        const auto up = upper.find(unit);
        const bool both_ways = up != upper.end() && up->second <= 0xFFFF && lower.count(up->second) != 0 &&
                               lower[up->second] == unit;
        const unsigned expected = both_ways ? up->second : unit;
        if (upper_case(static_cast<char16_t>(unit)) != expected && ++wrong <= 5) ADD_FAILURE() << std::hex << unit;
    }
    EXPECT_EQ(wrong, 0);
}

TEST(UpperCase, CheckedInTableIsWhatTheUnicodeDataGives) {
    const std::string command = "python3 " PLINTH_SOURCE_DIR "/scripts/make-upper-case-table.py --check";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

}  // namespace
}  // namespace plinth
