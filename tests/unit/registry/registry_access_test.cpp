#include "registry/registry_access.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace plinth {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::u16string kPath = u"Software\\Plinth Test";

TEST(RegistryAccess, CreateKeyPassesNonVolatileWriteAccessAndMakesParents) {
    fake::FakePlatform fake;
    auto key = create_key(fake.platform(), "Software\\Plinth Test\\Deep\\Er");
    ASSERT_TRUE(key.ok());
    EXPECT_EQ(fake.registry.last_create_options(), 0u);
    EXPECT_EQ(fake.registry.last_create_access(), 0x00020006u);
    EXPECT_TRUE(fake.registry.key_exists(u"Software\\Plinth Test\\Deep\\Er"));
    EXPECT_EQ(fake.registry.open_keys(), 1);
    key->reset();
    EXPECT_EQ(fake.registry.open_keys(), 0);
}

TEST(RegistryAccess, FailureTextsNameTheSubjectAndTheDecimalCode) {
    struct Case {
        const char* name;
        const char* operation;
        std::uint32_t code;
        const char* value_name;
        const char* expected;
    };
    const Case cases[] = {
        {"create", "registry.create_key", 5, "", "Can't write to the registry (Software\\Classes\\.txt, error 5)."},
        {"default value", "registry.set_value", 5, "", "Can't write to the registry (, error 5)."},
        {"named value", "registry.set_value", 5, "DisplayName", "Can't write to the registry (DisplayName, error 5)."},
        {"decimal code", "registry.set_value", 1018, "X", "Can't write to the registry (X, error 1018)."},
        {"unsigned code", "registry.set_value", 0xFFFFFFFFu, "X", "Can't write to the registry (X, error 4294967295)."},
        {"non-ASCII subject", "registry.set_value", 5, "Größe", "Can't write to the registry (Größe, error 5)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakePlatform fake;
        fake.faults.fail(c.operation, c.code);
        if (std::string_view(c.operation) == "registry.create_key") {
            auto key = create_key(fake.platform(), "Software\\Classes\\.txt");
            ASSERT_FALSE(key.ok());
            EXPECT_EQ(key.error().text, c.expected);
        } else {
            auto key = create_key(fake.platform(), "Software\\Classes\\.txt");
            ASSERT_TRUE(key.ok());
            auto text = write_text_value(**key, c.value_name, "x");
            ASSERT_FALSE(text.ok());
            EXPECT_EQ(text.error().text, c.expected);
            auto number = write_number_value(**key, c.value_name, 7);
            ASSERT_FALSE(number.ok());
            EXPECT_EQ(number.error().text, c.expected);
        }
        EXPECT_EQ(fake.registry.dump().find("type"), std::string::npos) << "nothing written";
    }
}

TEST(RegistryAccess, TextValuesCarryExactlyOneZeroUnit) {
    struct Case {
        const char* text;
        Bytes data;
    };
    const Case cases[] = {
        {"", {0, 0}},
        {"A", {'A', 0, 0, 0}},
        {"é€", {0xE9, 0x00, 0xAC, 0x20, 0, 0}},
        {"\xF0\x9F\x98\x80", {0x3D, 0xD8, 0x00, 0xDE, 0, 0}},  // U+1F600 as a surrogate pair
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        fake::FakePlatform fake;
        auto key = create_key(fake.platform(), "Software\\Plinth Test");
        ASSERT_TRUE(key.ok());
        ASSERT_TRUE(write_text_value(**key, "", c.text).ok());
        auto value = fake.registry.value(kPath, u"");
        ASSERT_TRUE(value);
        EXPECT_EQ(value->type, 1u);
        EXPECT_EQ(value->data, c.data);
    }
}

TEST(RegistryAccess, NumberValuesAreLittleEndianDwords) {
    fake::FakePlatform fake;
    auto key = create_key(fake.platform(), "Software\\Plinth Test");
    ASSERT_TRUE(key.ok());
    ASSERT_TRUE(write_number_value(**key, "N", 0x01020304u).ok());
    ASSERT_TRUE(write_number_value(**key, "Max", 0xFFFFFFFFu).ok());
    auto value = fake.registry.value(kPath, u"N");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, 4u);
    EXPECT_EQ(value->data, (Bytes{4, 3, 2, 1}));
    EXPECT_EQ(fake.registry.number(kPath, u"Max"), 0xFFFFFFFFu);
}

TEST(RegistryAccess, ReadTextValueStripsEveryTrailingZeroUnitButNothingElse) {
    struct Case {
        const char* name;
        Bytes data;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"one terminator", {'a', 0, 'b', 0, 0, 0}, "ab"},
        {"no terminator", {'a', 0, 'b', 0}, "ab"},
        {"several terminators", {'a', 0, 0, 0, 0, 0, 0, 0}, "a"},
        {"only zero units", {0, 0, 0, 0}, ""},
        {"no bytes at all", {}, ""},
        {"embedded zero stays", {'a', 0, 0, 0, 'b', 0, 0, 0}, std::string("a\0b", 3)},
        {"odd byte count", {'a', 0, 'b', 0, 'c'}, "abc"},
        {"odd count ending in zero", {'a', 0, 0}, "a"},
        {"unpaired surrogate", {0x00, 0xD8, 'x', 0, 0, 0}, "\xEF\xBF\xBDx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakePlatform fake;
        fake.registry.put_value(kPath, u"V", 1, c.data);
        EXPECT_EQ(read_text_value(fake.platform(), "Software\\Plinth Test", "V"), c.expected);
    }
}

TEST(RegistryAccess, ReadTextValueGivesNothingForMissingOrForeignValues) {
    fake::FakePlatform fake;
    fake.registry.put_value(kPath, u"Number", 4, {1, 0, 0, 0});
    fake.registry.put_value(kPath, u"Expand", 2, {'a', 0, 0, 0});
    fake.registry.put_text(kPath, u"Refused", "x");
    fake.faults.fail_on_path("registry.get_value", u"Software\\Refused", 5);
    fake.registry.put_text(u"Software\\Refused", u"V", "x");
    auto& platform = fake.platform();
    EXPECT_EQ(read_text_value(platform, "Software\\Plinth Test", "Missing"), std::nullopt);
    EXPECT_EQ(read_text_value(platform, "Software\\No Such Key", "V"), std::nullopt);
    EXPECT_EQ(read_text_value(platform, "Software\\Plinth Test", "Number"), std::nullopt);
    EXPECT_EQ(read_text_value(platform, "Software\\Plinth Test", "Expand"), std::nullopt);
    EXPECT_EQ(read_text_value(platform, "Software\\Refused", "V"), std::nullopt);
}

TEST(RegistryAccess, AValueThatGrowsBetweenTheTwoReadsGivesNothing) {
    fake::FakePlatform fake;
    fake.registry.put_text(kPath, u"V", "short");
    int calls = 0;
    fake.registry.before_get_value = [&] {
        if (++calls == 2) fake.registry.put_text(kPath, u"V", "a much longer text than before");
    };
    EXPECT_EQ(read_text_value(fake.platform(), "Software\\Plinth Test", "V"), std::nullopt);
    EXPECT_EQ(calls, 2);
}

TEST(RegistryAccess, AValueThatShrinksBetweenTheTwoReadsGivesTheNewText) {
    fake::FakePlatform fake;
    fake.registry.put_text(kPath, u"V", "a much longer text than now");
    int calls = 0;
    fake.registry.before_get_value = [&] {
        if (++calls == 2) fake.registry.put_text(kPath, u"V", "short");
    };
    EXPECT_EQ(read_text_value(fake.platform(), "Software\\Plinth Test", "V"), "short");
}

TEST(RegistryAccess, NonAsciiPathsAndNamesRoundTrip) {
    fake::FakePlatform fake;
    const std::string path = "Software\\Ünïcødé 名前\\\xF0\x9F\x98\x80";
    const std::string name = "Wert ∑";
    {
        auto key = create_key(fake.platform(), path);
        ASSERT_TRUE(key.ok());
        ASSERT_TRUE(write_text_value(**key, name, "Inhalt → ok").ok());
    }
    EXPECT_EQ(fake.registry.text(to_utf16(path), to_utf16(name)), "Inhalt → ok");
    EXPECT_EQ(fake.registry.value_names(to_utf16(path)), std::vector<std::u16string>{u"Wert ∑"});
    EXPECT_EQ(read_text_value(fake.platform(), path, name), "Inhalt → ok");
    EXPECT_EQ(fake.registry.open_keys(), 0);
}

TEST(RegistryAccess, DeletionsIgnoreWhatIsMissingOrRefused) {
    fake::FakePlatform fake;
    fake.registry.put_text(u"Software\\A\\B", u"V", "x");
    fake.registry.put_text(u"Software\\A\\B", u"", "default");
    fake.registry.put_text(u"Software\\C", u"V", "x");
    auto& platform = fake.platform();
    delete_value(platform, "Software\\A\\B", "");
    EXPECT_EQ(fake.registry.value_names(u"Software\\A\\B"), std::vector<std::u16string>{u"V"});
    delete_value(platform, "Software\\Nowhere", "V");
    delete_key(platform, "Software\\A");  // has a subkey: refused, unnoticed
    EXPECT_TRUE(fake.registry.key_exists(u"Software\\A\\B"));
    delete_tree(platform, "Software\\A");
    delete_key(platform, "Software\\A");
    EXPECT_FALSE(fake.registry.key_exists(u"Software\\A"));
    delete_tree(platform, "Software\\A");
    delete_key(platform, "Software\\A");
    fake.faults.fail("registry.delete_tree", 5);
    delete_tree(platform, "Software\\C");
    EXPECT_TRUE(fake.registry.key_exists(u"Software\\C"));
}

}  // namespace
}  // namespace plinth
