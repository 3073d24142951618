#include "json_positions.h"

#include <gtest/gtest.h>

namespace plinth::pack {
namespace {

TEST(JsonPositions, KeysAndValuesWhereTheyStandCountingCharacters) {
    // Line 2 starts with a tab; "é" and "😀" are two and four bytes but one character each; the
    // line ends are CR LF; the key "\u0069d" is "id" once decoded.
    const std::string text = "{\r\n\t\"n\u00e9\": \"\U0001F600\", \"\\u0069d\": [1, {\"x\": null}],\r\n"
                             "  \"empty\": {}, \"list\": []\r\n}";
    const JsonPlaces places = locate_json_values(text);
    const std::tuple<JsonPath, TextPosition, TextPosition, std::string> table[] = {
        {{}, {1, 1}, {1, 1}, text},
        {{"n\u00e9"}, {2, 2}, {2, 8}, "\"\U0001F600\""},
        {{"id"}, {2, 13}, {2, 24}, "[1, {\"x\": null}]"},
        {{"id", "0"}, {2, 25}, {2, 25}, "1"},
        {{"id", "1"}, {2, 28}, {2, 28}, "{\"x\": null}"},
        {{"id", "1", "x"}, {2, 29}, {2, 34}, "null"},
        {{"empty"}, {3, 3}, {3, 12}, "{}"},
        {{"list"}, {3, 16}, {3, 24}, "[]"},
    };
    for (const auto& [path, key, value, written] : table) {
        const JsonPlace* place = places.find(path);
        ASSERT_NE(place, nullptr) << ::testing::PrintToString(path);
        EXPECT_EQ(place->key, key) << ::testing::PrintToString(path);
        EXPECT_EQ(place->value, value) << ::testing::PrintToString(path);
        EXPECT_EQ(place->text, written);
    }
    EXPECT_EQ(places.places.size(), std::size(table));
    EXPECT_TRUE(places.repeated.empty());
}

TEST(JsonPositions, ARepeatedKeyIsPlacedAtItsLastOccurrence) {
    const std::string text = R"({"a": 1, "b": {"a": 2, "a": 3}, "a": [4]})";
    const JsonPlaces places = locate_json_values(text);
    EXPECT_EQ(places.find({"a"})->text, "[4]");
    EXPECT_EQ(places.find({"b", "a"})->text, "3");
    ASSERT_EQ(places.repeated.size(), 2u);
    EXPECT_EQ(places.repeated[0].path, (JsonPath{"b", "a"}));
    EXPECT_EQ(places.repeated[0].first, (TextPosition{1, 16}));
    EXPECT_EQ(places.repeated[0].again, (TextPosition{1, 24}));
    EXPECT_EQ(places.repeated[1].path, JsonPath{"a"});
    EXPECT_EQ(places.repeated[1].again, (TextPosition{1, 33}));
}

// Text the strict reader refuses: the scan stops without reading past the end.
TEST(JsonPositions, BrokenTextKeepsWhatCameBefore) {
    for (const std::string& text : std::vector<std::string>{"", "{", "{\"a\"", "{\"a\": ", "{\"a\": 1,", "[1, 2", "\"abc", "{\"a\\", "{1: 2}",
                                   std::string(300, '[')}) {
        const JsonPlaces places = locate_json_values(text);
        EXPECT_LE(places.places.size(), 2u) << text;
    }
    EXPECT_EQ(locate_json_values("[1, 2").find({"0"})->text, "1");
}

}  // namespace
}  // namespace plinth::pack
