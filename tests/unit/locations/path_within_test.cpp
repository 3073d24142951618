#include "locations/path_within.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace plinth {
namespace {

TEST(PathWithin, IsTheFolderOrBelowItWithoutCase) {
    struct Case {
        std::u16string_view path;
        std::u16string_view folder;
        std::optional<std::u16string_view> rest;
    };
    const Case cases[] = {
        {u"C:\\Apps\\Notes\\notes.exe", u"C:\\Apps\\Notes", u"notes.exe"},
        {u"c:\\apps\\NOTES\\Sub\\x.log", u"C:\\Apps\\Notes", u"Sub\\x.log"},  // the rest in the path's case
        {u"C:\\\u00C9t\u00E9\\x", u"c:\\\u00E9T\u00C9", u"x"},                 // beyond ASCII
        {u"C:\\Apps\\Notes", u"C:\\Apps\\Notes", u""},                         // the folder itself
        {u"C:\\Apps\\Notes", u"C:\\Apps\\Notes\\\\/", u""},                    // its trailing separators don't count
        {u"C:\\Apps", u"C:\\", u"Apps"},                                       // a drive's root
        {u"C:\\Apps\\NotesX\\a", u"C:\\Apps\\Notes", std::nullopt},            // a longer name, no separator
        {u"C:\\Apps\\Notes/a", u"C:\\Apps\\Notes", std::nullopt},              // only a backslash follows it
        {u"C:\\Apps\\Not", u"C:\\Apps\\Notes", std::nullopt},                  // shorter than the folder
        {u"D:\\Apps\\Notes\\a", u"C:\\Apps\\Notes", std::nullopt},
        {u"\\a", u"\\", std::nullopt},                                         // separators alone hold nothing
        {u"a", u"", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(path_within(c.path, c.folder), c.rest)
            << std::string(c.path.begin(), c.path.end()) << " in " << std::string(c.folder.begin(), c.folder.end());
    }
}

}  // namespace
}  // namespace plinth
