#include "default_stub.h"

#include <gtest/gtest.h>

namespace plinth::pack {
namespace {

struct StubPlacesCase {
    const char* packer;
    const char* installed;  // first place: the prefix's share/plinth/
    const char* beside;     // second place: the packer's own folder
};

// The installed layout comes first, so that a packer in an installed prefix never picks up a
// stub that merely happens to lie beside it or in the tree it was built from.
TEST(DefaultStub, InstalledPrefixFirstThenBesideThePacker) {
    const StubPlacesCase cases[] = {
        {"/opt/plinth-0.1.0/bin/plinth-pack", "/opt/plinth-0.1.0/share/plinth/plinth-setup.exe",
         "/opt/plinth-0.1.0/bin/plinth-setup.exe"},
        {"/usr/bin/plinth-pack", "/usr/share/plinth/plinth-setup.exe", "/usr/bin/plinth-setup.exe"},
        {"/plinth-pack", "/share/plinth/plinth-setup.exe", "/plinth-setup.exe"},
        {"tools/bin/plinth-pack", "tools/share/plinth/plinth-setup.exe", "tools/bin/plinth-setup.exe"},
        {"plinth-pack", "../share/plinth/plinth-setup.exe", "plinth-setup.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.packer);
        const auto places = stub_candidates(c.packer);
        ASSERT_GE(places.size(), 2u);
        EXPECT_EQ(places[0], std::filesystem::path(c.installed));
        EXPECT_EQ(places[1], std::filesystem::path(c.beside));
    }
}

TEST(DefaultStub, ThePlaceOfTheBuildTreeLastAndOnce) {
    const auto places = stub_candidates("/nowhere/bin/plinth-pack");
    if (places.size() == 2) GTEST_SKIP() << "this packer was built without a build-tree stub";
    ASSERT_EQ(places.size(), 3u);
    // A packer in the build folder itself (the windows build) has that stub beside it.
    const auto in_build_folder = stub_candidates(places[2].parent_path() / "plinth-pack");
    ASSERT_EQ(in_build_folder.size(), 2u);
    EXPECT_EQ(in_build_folder[1], places[2]);
}

TEST(DefaultStub, HelpListsThePlacesInOrder) {
    const auto places = stub_candidates("/opt/p/bin/plinth-pack");
    std::string expected;
    for (const auto& place : places) expected += "  " + place.string() + "\n";
    EXPECT_EQ(describe_stub_places("/opt/p/bin/plinth-pack"), expected);
    EXPECT_EQ(describe_stub_places("/opt/p/bin/plinth-pack").rfind("  /opt/p/share/plinth/plinth-setup.exe\n", 0), 0u);
}

}  // namespace
}  // namespace plinth::pack
