#include "removal/self_deletion.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace plinth {
namespace {

TEST(SelfDeletion, StartsAHiddenCmdWithTheExactCommandLine) {
    fake::FakePlatform fake;
    const Path folder = u"C:\\Users\\Zoë\\AppData\\Local\\Programs\\Notes Pro 日本";
    start_self_deletion(fake.platform(), folder);

    ASSERT_EQ(fake.processes.started.size(), 1u);
    const platform::ProcessStart& start = fake.processes.started[0];
    // Not found by the program search, which would look beside the uninstaller first.
    EXPECT_EQ(start.application, Path(u"C:\\Windows\\system32\\cmd.exe"));
    EXPECT_EQ(start.current_directory, Path(u"C:\\Windows\\system32"));
    EXPECT_EQ(start.command_line,
              u"\"cmd.exe\" /d /v:off /c ping -n 3 127.0.0.1 > nul & del /f /q "
              u"\"C:\\Users\\Zoë\\AppData\\Local\\Programs\\Notes Pro 日本\\uninstall.exe\" & rmdir "
              u"\"C:\\Users\\Zoë\\AppData\\Local\\Programs\\Notes Pro 日本\"");
    EXPECT_EQ(start.creation_flags, 0x08000400u);
    EXPECT_TRUE(start.inherit_handles);
}

TEST(SelfDeletion, UnknownSystemFolderStillStartsCmdByTheProgramSearch) {
    fake::FakePlatform fake;
    fake.faults.fail("processes.system_folder", 5);
    start_self_deletion(fake.platform(), u"C:\\Apps\\Notes");

    ASSERT_EQ(fake.processes.started.size(), 1u);
    const platform::ProcessStart& start = fake.processes.started[0];
    EXPECT_FALSE(start.application.has_value());
    EXPECT_FALSE(start.current_directory.has_value());
    EXPECT_EQ(start.command_line.rfind(u"\"cmd.exe\" /d /v:off /c ping -n 3 ", 0), 0u);
}

TEST(SelfDeletion, CommandKeepsEveryFolderLiteralForCmd) {
    struct Case {
        Path folder;
        std::u16string uninstaller;  // as it stands in the command, quotes included
        std::u16string rmdir_argument;
    };
    const Case cases[] = {
        {u"C:\\Apps\\Notes", u"\"C:\\Apps\\Notes\\uninstall.exe\"", u"\"C:\\Apps\\Notes\""},
        // A trailing separator gets no second one.
        {u"C:\\Apps\\Notes\\", u"\"C:\\Apps\\Notes\\uninstall.exe\"", u"\"C:\\Apps\\Notes\\\""},
        // Between quotes, & ^ ( ) are plain characters for cmd.exe, and ! too with /v:off.
        {u"C:\\Apps\\R&D (x^y)!", u"\"C:\\Apps\\R&D (x^y)!\\uninstall.exe\"",
         u"\"C:\\Apps\\R&D (x^y)!\""},
        // Percent signs are not: each gets an empty pair of quotes so no %NAME% is expanded.
        {u"C:\\Apps\\x%OS%y", u"\"C:\\Apps\\x%\"\"OS%\"\"y\\uninstall.exe\"",
         u"\"C:\\Apps\\x%\"\"OS%\"\"y\""},
        {u"C:\\Apps\\100%", u"\"C:\\Apps\\100%\"\"\\uninstall.exe\"", u"\"C:\\Apps\\100%\"\"\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(to_utf8(c.folder));
        EXPECT_EQ(self_deletion_command(c.folder),
                  u"ping -n 3 127.0.0.1 > nul & del /f /q " + c.uninstaller + u" & rmdir " +
                      c.rmdir_argument);
    }
}

TEST(SelfDeletion, FolderThatCmdCannotQuoteStartsNothing) {
    // Such a folder can't exist on Windows, but the install location comes from the registry:
    // a quote would end the quoted path and let the rest run as commands.
    const Path folders[] = {u"C:\\x\" & rd /s /q \"C:\\Users\\Ann", u"C:\\Apps\\a\r\nb",
                            Path(u"C:\\Apps\\a\0b", 11)};
    for (const Path& folder : folders) {
        SCOPED_TRACE(to_utf8(folder));
        fake::FakePlatform fake;
        EXPECT_FALSE(self_deletion_command(folder).has_value());
        start_self_deletion(fake.platform(), folder);
        EXPECT_TRUE(fake.processes.started.empty());
    }
}

}  // namespace
}  // namespace plinth
