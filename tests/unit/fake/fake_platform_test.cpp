// The fake's own behaviour: the logic's tests are only as good as its imitation of Windows.
#include "platform/fake/fake_platform.h"

#include <gtest/gtest.h>

namespace plinth::fake {
namespace {

namespace codes = platform::codes;

TEST(FakeFiles, DeletionFollowsTheRealRules) {
    FakePlatform fake;
    fake.files.add_file(u"C:\\A\\plain.txt", "x");
    fake.files.add_file(u"C:\\A\\ro.txt", "x", {.read_only = true});
    fake.files.add_file(u"C:\\A\\app.exe", "x", {.running = true});
    fake.files.add_file(u"C:\\A\\open.txt", "x", {.locked = true});
    EXPECT_EQ(fake.files.delete_file(u"C:\\a\\PLAIN.txt"), codes::kSuccess);
    EXPECT_EQ(fake.files.delete_file(u"C:\\A\\ro.txt"), codes::kAccessDenied);
    EXPECT_EQ(fake.files.delete_file_by_handle(u"C:\\A\\ro.txt", 0x3), codes::kAccessDenied);
    EXPECT_EQ(fake.files.delete_file_by_handle(u"C:\\A\\ro.txt", 0x13), codes::kSuccess);
    EXPECT_EQ(fake.files.delete_file(u"C:\\A\\app.exe"), codes::kAccessDenied);
    EXPECT_EQ(fake.files.delete_file_by_handle(u"C:\\A\\app.exe", 0x13), codes::kAccessDenied);
    EXPECT_EQ(fake.files.rename(u"C:\\A\\app.exe", u"C:\\A\\app.exe.1.old"), codes::kSuccess);
    EXPECT_EQ(fake.files.delete_file(u"C:\\A\\open.txt"), codes::kSharingViolation);
    EXPECT_EQ(fake.files.rename(u"C:\\A\\open.txt", u"C:\\A\\x"), codes::kSharingViolation);
    EXPECT_EQ(fake.files.delete_file(u"C:\\A\\gone.txt"), codes::kFileNotFound);
    EXPECT_EQ(fake.files.delete_file(u"C:\\B\\gone.txt"), codes::kPathNotFound);
    EXPECT_EQ(fake.files.list_tree(u"C:\\A"),
              (std::vector<Path>{u"C:\\A\\app.exe.1.old", u"C:\\A\\open.txt"}));
}

TEST(FakeFiles, ParentsMadeOnTheWayKeepTheirSpelling) {
    // Whichever call creates a folder first, it is stored as spelt, so state dumps compare.
    FakePlatform fake;
    fake.files.add_file(u"C:\\Users\\Ann\\Notes\\a.txt", "x");
    fake.files.add_folder(u"\\\\?\\C:\\Data/Sub\\");
    EXPECT_EQ(fake.files.list_tree(u"C:"),
              (std::vector<Path>{u"C:\\Data", u"C:\\Data\\Sub", u"C:\\Users", u"C:\\Users\\Ann",
                                 u"C:\\Users\\Ann\\Notes", u"C:\\Users\\Ann\\Notes\\a.txt"}));
}

TEST(FakeFiles, FolderTreesAndCanonicalPaths) {
    FakePlatform fake;
    EXPECT_EQ(fake.files.create_folder_tree(u"C:\\Users\\Ann\\Programs\\App"), codes::kSuccess);
    EXPECT_EQ(fake.files.create_folder_tree(u"C:\\Users\\Ann\\Programs\\App"), codes::kSuccess);
    EXPECT_EQ(fake.files.create_folder_tree(u"Q:\\Apps"), codes::kPathNotFound);
    fake.files.add_file(u"C:\\Users\\Ann\\file", "x");
    EXPECT_EQ(fake.files.create_folder_tree(u"C:\\Users\\Ann\\file\\sub"), codes::kAlreadyExists);
    EXPECT_EQ(*fake.files.canonical_path(u"c:\\users\\ann\\FILE"), u"\\\\?\\C:\\Users\\Ann\\file");
    EXPECT_EQ(fake.files.write_file(u"C:\\Nowhere\\x", {}), codes::kPathNotFound);
}

TEST(FakeRegistry, ReadsNeedTheSizeFirstAndAddATerminator) {
    FakePlatform fake;
    fake.registry.put_value(u"Software\\T", u"v", kRegSz, {'a', 0, 'b', 0});  // no terminator
    std::uint32_t bytes = 0;
    EXPECT_EQ(fake.registry.get_value(u"software\\t", u"V", 2, nullptr, &bytes), codes::kSuccess);
    EXPECT_EQ(bytes, 6u);
    char16_t small[2];
    bytes = 4;
    EXPECT_EQ(fake.registry.get_value(u"Software\\T", u"v", 2, small, &bytes), codes::kMoreData);
    char16_t buffer[3];
    bytes = 6;
    EXPECT_EQ(fake.registry.get_value(u"Software\\T", u"v", 2, buffer, &bytes), codes::kSuccess);
    EXPECT_EQ(std::u16string(buffer, 3), std::u16string(u"ab\0", 3));
    fake.registry.put_value(u"Software\\T", u"n", kRegDword, {1, 0, 0, 0});
    EXPECT_NE(fake.registry.get_value(u"Software\\T", u"n", 2, nullptr, &bytes), codes::kSuccess);
}

TEST(FakeRegistry, OpenKeysAreCountedAndTreesDeleted) {
    FakePlatform fake;
    {
        auto key = fake.registry.create_key(u"Software\\A\\B", 0, 0x20006);
        ASSERT_TRUE(key.ok());
        EXPECT_EQ(fake.registry.open_keys(), 1);
        EXPECT_EQ((*key)->set_value(u"x", kRegDword, std::vector<std::uint8_t>{1, 0, 0, 0}), codes::kSuccess);
    }
    EXPECT_EQ(fake.registry.open_keys(), 0);
    EXPECT_EQ(fake.registry.delete_key(u"Software\\A"), codes::kAccessDenied);  // has a subkey
    EXPECT_EQ(fake.registry.delete_tree(u"Software\\A"), codes::kSuccess);
    EXPECT_FALSE(fake.registry.key_exists(u"Software\\A"));
    EXPECT_EQ(fake.registry.delete_key(u"Software\\A"), codes::kFileNotFound);
}

TEST(FaultPlan, FailsTheNthCallOrAPathOrAnyNthFallibleCall) {
    FakePlatform fake;
    fake.faults.fail("files.write_file", codes::kDiskFull, 2);
    EXPECT_EQ(fake.files.write_file(u"C:\\a", {}), codes::kSuccess);
    EXPECT_EQ(fake.files.write_file(u"C:\\b", {}), codes::kDiskFull);
    EXPECT_EQ(fake.files.write_file(u"C:\\c", {}), codes::kSuccess);
    fake.faults.reset();
    fake.faults.fail_on_path("files.read_file", u"C:\\A", codes::kAccessDenied);
    EXPECT_EQ(fake.files.read_file(u"c:\\a").error(), codes::kAccessDenied);
    EXPECT_TRUE(fake.files.read_file(u"C:\\c").ok());  // written above
    fake.faults.reset();
    fake.faults.fail_call(2, codes::kSharingViolation);
    EXPECT_TRUE(fake.files.metadata(u"C:\\a").ok());
    EXPECT_EQ(fake.files.metadata(u"C:\\a").error(), codes::kSharingViolation);
    EXPECT_EQ(fake.faults.calls(), 2);
}

platform::HResult click_handler(platform::WindowHandle window, std::uint32_t notification,
                                std::uintptr_t wparam, std::intptr_t, void* data) {
    auto* dialogs = static_cast<FakeDialogs*>(data);
    if (notification == kTdnButtonClicked && wparam == 100) {
        static const char16_t title[] = u"Second";
        static platform::DialogConfig next{};
        next.window_title = title;
        next.common_buttons = 0x20;
        next.flags = 0x8;
        next.callback = &click_handler;
        next.callback_data = data;
        dialogs->navigate(window, next);
        return 1;  // S_FALSE: stay open
    }
    return 0;
}

TEST(FakeDialogs, PlaysTheScriptAndNavigatesAfterTheCallback) {
    FakePlatform fake;
    const char16_t title[] = u"First";
    const platform::DialogButton buttons[] = {{100, u"Go"}};
    platform::DialogConfig first{};
    first.window_title = title;
    first.buttons = buttons;
    first.button_count = 1;
    first.common_buttons = 0x08;
    first.flags = 0x8;
    first.callback = &click_handler;
    first.callback_data = &fake.dialogs;
    fake.dialogs.script = {UserAction::click(100), UserAction::click(100), UserAction::click(8)};
    std::int32_t pressed = 0;
    EXPECT_EQ(fake.dialogs.show(first, &pressed), 0);
    EXPECT_EQ(pressed, 8);
    ASSERT_EQ(fake.dialogs.pages.size(), 2u);
    EXPECT_EQ(fake.dialogs.pages[1].window_title, "Second");
    EXPECT_EQ(fake.dialogs.refused_actions.size(), 1u);  // 100 is gone from the second page
}

}  // namespace
}  // namespace plinth::fake
