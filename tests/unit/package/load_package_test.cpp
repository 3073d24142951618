#include "package/load_package.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace plinth {
namespace {

const std::string kManifest = R"({"name":"Notes","id":"org.notes","exe":"notes.exe"})";

TEST(LoadInstallerPackage, ReadsTheResourceInPlace) {
    fake::FakePlatform fake;
    fake.module.package = build_package(kManifest, std::vector<std::uint8_t>{9, 8, 7});
    const auto package = load_installer_package(fake.platform());
    ASSERT_TRUE(package.ok());
    EXPECT_EQ(package->manifest.id, "org.notes");
    EXPECT_EQ(package->payload.data(), fake.module.package->data() + 12 + kManifest.size());
    EXPECT_EQ(package->payload.size(), 3u);
}

TEST(LoadInstallerPackage, ReportsEachWayOfFailing) {
    struct Case {
        const char* label;
        void (*arrange)(fake::FakePlatform&);
        std::string expected;
    };
    const Case cases[] = {
        {"no resource", [](fake::FakePlatform& f) { f.module.package.reset(); },
         "It has nothing in it to install."},
        {"resource not loadable",
         [](fake::FakePlatform& f) {
             f.module.package = build_package(kManifest, {});
             f.module.package_load_error = 5;
         },
         "Access is denied."},
        {"module handle unavailable",
         [](fake::FakePlatform& f) {
             f.module.package = build_package(kManifest, {});
             f.faults.fail("module.own_handle", 2);
         },
         "The system cannot find the file specified."},
        {"damaged container", [](fake::FakePlatform& f) { f.module.package = std::vector<std::uint8_t>{'P', 'L'}; },
         "Its contents can't be read."},
        {"manifest without exe",
         [](fake::FakePlatform& f) { f.module.package = build_package(R"({"name":"n","id":"i"})", {}); },
         "Its contents can't be read."},
    };
    for (const auto& c : cases) {
        fake::FakePlatform fake;
        c.arrange(fake);
        const auto package = load_installer_package(fake.platform());
        ASSERT_FALSE(package.ok()) << c.label;
        EXPECT_EQ(package.error().text, c.expected) << c.label;
    }
}

TEST(LoadInstallerPackage, SystemMessageIsLookedUpAsHresult) {
    fake::FakePlatform fake;
    fake.module.package = build_package(kManifest, {});
    fake.module.package_load_error = 5;
    (void)load_installer_package(fake.platform());
    ASSERT_EQ(fake.system_text.calls.size(), 1u);
    EXPECT_EQ(fake.system_text.calls[0].code, 0x80070005u);
}

}  // namespace
}  // namespace plinth
