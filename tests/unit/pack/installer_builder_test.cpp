#include "installer_builder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "icon_group.h"
#include "installer_report.h"
#include "pack/hostile_pe.h"
#include "package/container.h"
#include "package/payload.h"
#include "pack/synthetic_pe.h"
#include "resource_writer.h"
#include "support/zlib_stream.h"
#include "version_record.h"

namespace plinth::pack {
namespace {

using testing::build_stub;

const char* const kManifest =
    R"({"name": "Notes", "id": "com.example.notes", "version": "1.4.2", "publisher": "Example Ltd",
        "exe": "Notes.exe", "documents": [{"name": "Note", "extensions": ["note"], "owned": true, "icon": 2}]})";

// The first icon group, which these trees must be able to give.
std::optional<IconSet> first_group(const ResourceTree& tree) {
    auto group = first_icon_group(tree);
    EXPECT_TRUE(group.ok()) << group.error().text;
    return group.ok() ? *group : std::nullopt;
}

Bytes dib(std::uint8_t seed) {
    Bytes data(48, seed);
    put_u32(data, 0, 40);
    return data;
}

Bytes ico_file(std::uint8_t seed) {
    Bytes out;
    append_u16(out, 0);
    append_u16(out, 1);
    append_u16(out, 1);
    out.insert(out.end(), {32, 32, 0, 0});
    append_u16(out, 1);
    append_u16(out, 32);
    append_u32(out, 48);
    append_u32(out, 22);
    const Bytes image = dib(seed);
    out.insert(out.end(), image.begin(), image.end());
    return out;
}

// The runtime stub's resources: a manifest, a default icon and a version record.
ResourceTree stub_tree() {
    ResourceTree tree;
    tree.set(ResourceName::number(kTypeManifest), ResourceName::number(1), kLangEnglishUs, Bytes(30, 'm'));
    EXPECT_TRUE(put_icon_group(tree, 1, *parse_ico(ico_file(1)), kLangEnglishUs).ok());
    tree.set(ResourceName::number(kTypeVersion), ResourceName::number(1), kLangEnglishUs,
             build_version_record({"plinth", "0.1", "", "plinth setup"}));
    return tree;
}

// An app exe with its own icon group.
Bytes app_with_icon() {
    ResourceTree tree;
    EXPECT_TRUE(put_icon_group(tree, 101, *parse_ico(ico_file(9)), kLangEnglishUs).ok());
    return build_stub(tree);
}

InstallerInputs inputs() {
    InstallerInputs in;
    in.manifest_json = kManifest;
    in.app = app_with_icon();
    in.stub = build_stub(stub_tree(), Bytes{1, 2, 3});
    in.compressor = Compressor::zlib;
    return in;
}

ResourceTree resources_of(const Bytes& installer) {
    auto image = read_pe_image(installer);
    EXPECT_TRUE(image.ok());
    return *read_resource_tree(*image);
}

TEST(InstallerBuilder, InstallerCarriesThePackageIconAndVersion) {
    const InstallerInputs in = inputs();
    auto built = build_installer(in);
    ASSERT_TRUE(built.ok()) << built.error().text;
    EXPECT_EQ(built->icon_source, IconSource::app);
    const ResourceTree tree = resources_of(built->installer);

    // RCDATA 1 is a package the runtime reads, with the app inside.
    const auto* rcdata = tree.find(ResourceName::number(kTypeRcData), ResourceName::number(1));
    ASSERT_NE(rcdata, nullptr);
    ASSERT_EQ(rcdata->size(), 1u);
    auto package = read_package(rcdata->begin()->second.bytes);
    ASSERT_TRUE(package.ok());
    EXPECT_EQ(package->manifest.name, "Notes");
    EXPECT_EQ(package->manifest.documents.at(0).icon, 2);
    EXPECT_EQ(package->payload.size(), built->payload_size);
    EXPECT_EQ(*inflate_payload(package->payload), in.app);

    // Icon group 1 is the app's, in the stub's language; the stub's manifest is untouched.
    EXPECT_EQ(first_group(tree)->at(0).data, dib(9));
    EXPECT_TRUE(tree.find(ResourceName::number(kTypeGroupIcon), ResourceName::number(1))->contains(kLangEnglishUs));
    EXPECT_EQ(tree.find(ResourceName::number(kTypeIcon), ResourceName::number(1))->at(kLangEnglishUs).bytes, dib(9));
    EXPECT_EQ(tree.find(ResourceName::number(kTypeManifest), ResourceName::number(1))->at(kLangEnglishUs).bytes,
              Bytes(30, 'm'));

    // The version record comes from the manifest.
    const auto* version = tree.find(ResourceName::number(kTypeVersion), ResourceName::number(1));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->size(), 1u);
    EXPECT_EQ(version->at(kLangEnglishUs).bytes,
              build_version_record({"Notes", "1.4.2", "Example Ltd", "Notes Setup"}));

    // The stub's overlay stays at the end.
    EXPECT_EQ(Bytes(built->installer.end() - 3, built->installer.end()), (Bytes{1, 2, 3}));
}

TEST(InstallerBuilder, IconComesFromTheIconFileThenTheAppThenTheStub) {
    InstallerInputs with_file = inputs();
    with_file.icon_file = ico_file(5);
    auto from_file = build_installer(with_file);
    ASSERT_TRUE(from_file.ok());
    EXPECT_EQ(from_file->icon_source, IconSource::icon_file);
    EXPECT_EQ(first_group(resources_of(from_file->installer))->at(0).data, dib(5));

    InstallerInputs plain_app = inputs();
    plain_app.app = Bytes(5000, 'x');  // not an executable at all: packed as it is
    auto from_stub = build_installer(plain_app);
    ASSERT_TRUE(from_stub.ok());
    EXPECT_EQ(from_stub->icon_source, IconSource::stub);
    EXPECT_FALSE(from_stub->app_resources_unreadable);
    EXPECT_EQ(first_group(resources_of(from_stub->installer))->at(0).data, dib(1));
}

TEST(InstallerBuilder, SameInputsGiveTheSameInstaller) {
    for (Compressor c : available_compressors()) {
        InstallerInputs in = inputs();
        in.compressor = c;
        auto first = build_installer(in);
        auto second = build_installer(in);
        ASSERT_TRUE(first.ok() && second.ok());
        EXPECT_EQ(first->installer, second->installer) << compressor_name(c);
    }
}

TEST(InstallerBuilder, RefusalsNameTheProblem) {
    struct Case {
        const char* what;
        InstallerInputs in;
        const char* message;
    };
    std::vector<Case> cases;
    cases.push_back({"bad JSON", inputs(), "line 1"});
    cases.back().in.manifest_json = "{\"name\": \"Notes\",}";
    cases.push_back({"exe with a folder", inputs(), "path separator"});
    cases.back().in.manifest_json = R"({"name": "Notes", "id": "x", "exe": "bin/Notes.exe"})";
    cases.push_back({"blank id", inputs(), "\"id\""});
    cases.back().in.manifest_json = R"({"name": "Notes", "id": "  ", "exe": "Notes.exe"})";
    cases.push_back({"bad icon file", inputs(), "The icon can't be used"});
    cases.back().in.icon_file = Bytes{0, 0, 1, 0, 1, 0, 32};
    cases.push_back({"stub is not an executable", inputs(), "The stub can't be used: not a Windows executable"});
    cases.back().in.stub = Bytes(500, 'z');
    cases.push_back({"truncated stub", inputs(), "The stub can't be used: truncated"});
    cases.back().in.stub.resize(0x500);
    for (const Case& c : cases) {
        auto built = build_installer(c.in);
        ASSERT_FALSE(built.ok()) << c.what;
        EXPECT_NE(built.error().text.find(c.message), std::string::npos) << c.what << ": " << built.error().text;
    }
}

// Crafted stubs, apps and icons end in a refusal naming the part at fault, or in an installer
// that reads back.
TEST(InstallerBuilder, HostileStubsAppsAndIconsAreRefusedOrReadBack) {
    const Bytes many_images = testing::ico_sharing_one_image(0xffff, testing::dib_image(40, 4));
    struct Case {
        const char* what;
        InstallerInputs in;
        const char* message;
    };
    std::vector<Case> cases;
    cases.push_back({"icon file entries sharing one large image", inputs(),
                     "The icon can't be used: the icon's images add up to more than 16 MiB"});
    cases.back().in.icon_file = testing::ico_sharing_one_image(0xffff, testing::dib_image(1u << 20, 2));
    cases.push_back({"app icon group sharing one large icon", inputs(),
                     "The app's icon can't be used: the icon's images add up to more than 16 MiB"});
    cases.back().in.app = testing::app_sharing_one_icon(0xffff, 1u << 20);
    cases.push_back({"icon ids run out", inputs(),
                     "The icon can't be used: the icon has 65535 images, but only 65533 icon ids are free"});
    cases.back().in.stub = testing::stub_with_icons_outside_group_one({2, 3});
    cases.back().in.icon_file = many_images;
    cases.push_back({"65536 icons in one directory", inputs(),
                     "The installer can't be built: too many resources in one directory"});
    cases.back().in.stub = testing::stub_with_icons_outside_group_one({0});
    cases.back().in.icon_file = many_images;
    cases.push_back({"resource section inside the headers", inputs(),
                     "The stub can't be used: the resource section starts inside the headers"});
    cases.back().in.stub = testing::stub_with_resources_inside_headers();
    cases.push_back({"stub with shared directories", inputs(),
                     "The stub can't be used: damaged resource section (its directories are shared or loop back)"});
    cases.back().in.stub = testing::build_stub_with_resources(testing::shared_directory_resources(0xffff, 0xffff, 1));
    for (const Case& c : cases) {
        auto built = build_installer(c.in);
        ASSERT_FALSE(built.ok()) << c.what;
        EXPECT_NE(built.error().text.find(c.message), std::string::npos) << c.what << ": " << built.error().text;
    }

    // An app whose resources can't be read leaves the stub's icon.
    InstallerInputs shared_app = inputs();
    shared_app.app = testing::build_stub_with_resources(testing::shared_directory_resources(0xffff, 0xffff, 1));
    auto with_stub_icon = build_installer(shared_app);
    ASSERT_TRUE(with_stub_icon.ok()) << with_stub_icon.error().text;
    EXPECT_EQ(with_stub_icon->icon_source, IconSource::stub);
    EXPECT_TRUE(with_stub_icon->app_resources_unreadable);

    // 65535 images fit the ids the plain stub leaves free, and the installer reads back.
    InstallerInputs most_images = inputs();
    most_images.stub = build_stub(testing::plain_stub_tree());
    most_images.icon_file = many_images;
    auto built = build_installer(most_images);
    ASSERT_TRUE(built.ok()) << built.error().text;
    EXPECT_EQ(first_group(resources_of(built->installer)), *parse_ico(many_images));
    EXPECT_TRUE(describe_installer(built->installer).ok());
}

TEST(InstallerBuilder, RawModeEmbedsAnyBytesUnchecked) {
    const Bytes stub = build_stub(stub_tree());
    const Bytes blob{'P', 'L', 'N', 'S', 'E', 'T', 'U', 'P', 3, 0, 0, 0, '{', '}', ']'};
    auto raw = build_raw_installer(stub, blob);
    ASSERT_TRUE(raw.ok()) << raw.error().text;
    const ResourceTree tree = resources_of(*raw);
    EXPECT_EQ(tree.find(ResourceName::number(kTypeRcData), ResourceName::number(1))->begin()->second.bytes, blob);
    // Nothing else changes: the stub's icon and version stay.
    ResourceTree expected = stub_tree();
    expected.set(ResourceName::number(kTypeRcData), ResourceName::number(1), kLangNeutral, blob);
    EXPECT_EQ(tree, expected);
    EXPECT_TRUE(build_raw_installer(stub, {}).ok());
}

TEST(InstallerReport, ShowsTheManifestTheKeysAndThePayload) {
    auto built = build_installer(inputs());
    ASSERT_TRUE(built.ok());
    auto report = describe_installer(built->installer);
    ASSERT_TRUE(report.ok()) << report.error().text;
    for (const std::string& line : std::vector<std::string>{
             "name:       \"Notes\"", "\"Note\", extensions: \"note\", owned, icon 2", "shortcut file:   \"Notes.lnk\"",
          "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\com.example.notes",
          "HKEY_CURRENT_USER\\Software\\Classes\\com.example.notes.note",
          "HKEY_CURRENT_USER\\Software\\Classes\\.note  (default value: com.example.notes.note",
          "inflated:    " + std::to_string(inputs().app.size()) + " bytes"}) {
        EXPECT_NE(report->find(line), std::string::npos) << line << "\n" << *report;
    }
}

TEST(InstallerReport, ShowsTheFeedTheProtocolsTheAppUserModelIdAndTheSignature) {
    InstallerInputs with_all = inputs();
    with_all.manifest_json = R"({"name": "Notes", "id": "com.example.notes", "version": "1.4.2", "exe": "Notes.exe",
        "updates": {"feed": "https://example.com/notes/feed.json"}, "protocols": ["notes", "notes-beta"],
        "appUserModelId": "Example.Notes"})";
    const struct {
        const char* label;
        std::string manifest;
        std::vector<std::string> lines;
    } cases[] = {
        {"all of them", with_all.manifest_json,
         {"  update feed: \"https://example.com/notes/feed.json\"\n", "  protocols:   \"notes\", \"notes-beta\"\n",
          "  AppUserModelID: \"Example.Notes\"\n", "  protocol key:    HKEY_CURRENT_USER\\Software\\Classes\\notes-beta\n",
          "Signature\n  not signed\n"}},
        {"none of them", kManifest, {"  update feed: none\n", "  protocols:   none\n", "  AppUserModelID: none\n"}},
    };
    for (const auto& c : cases) {
        InstallerInputs in = inputs();
        in.manifest_json = c.manifest;
        auto built = build_installer(in);
        ASSERT_TRUE(built.ok()) << built.error().text;
        auto report = describe_installer(built->installer);
        ASSERT_TRUE(report.ok()) << report.error().text;
        for (const std::string& line : c.lines) EXPECT_NE(report->find(line), std::string::npos) << c.label << ": " << line << "\n" << *report;
    }
}

TEST(InstallerReport, DamagedPackagesGiveTheRuntimesMessages) {
    const Bytes stub = build_stub(stub_tree());
    EXPECT_EQ(describe_installer(stub).error().text, "It has nothing in it to install.");
    const Bytes bad_manifest{'P', 'L', 'N', 'S', 'E', 'T', 'U', 'P', 2, 0, 0, 0, '{', '}'};
    EXPECT_EQ(describe_installer(*build_raw_installer(stub, bad_manifest)).error().text, "Its contents can't be read.");

    auto built = build_installer(inputs());
    ASSERT_TRUE(built.ok());
    const ResourceTree tree = resources_of(built->installer);
    const auto* rcdata = tree.find(ResourceName::number(kTypeRcData), ResourceName::number(1));
    Bytes cut = rcdata->begin()->second.bytes;
    cut.resize(cut.size() - 2);  // inside the checksum
    EXPECT_EQ(describe_installer(*build_raw_installer(stub, cut)).error().text,
              "The app inside the installer is damaged.");
}

Bytes gzipped(std::string_view text) {
    return testing_support::deflate_with({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                                         16 + MAX_WBITS, 9, 8);
}

TEST(InstallerReport, TheNoticesTravelFromTheStubIntoEveryInstaller) {
    ResourceTree tree = stub_tree();
    tree.set(ResourceName::number(kTypeRcData), ResourceName::named(u"NOTICES"), kLangEnglishUs,
             gzipped("zlib - Copyright (C) 1995-2022 Jean-loup Gailly and Mark Adler\n"));
    InstallerInputs with_notices = inputs();
    with_notices.stub = build_stub(tree);
    auto built = build_installer(with_notices);
    ASSERT_TRUE(built.ok());
    for (const Bytes& image : {with_notices.stub, built->installer}) {
        auto notices = installer_notices(image);
        ASSERT_TRUE(notices.ok()) << notices.error().text;
        EXPECT_EQ(*notices, "zlib - Copyright (C) 1995-2022 Jean-loup Gailly and Mark Adler\n");
    }
    EXPECT_EQ(installer_notices(build_stub(stub_tree())).error().text,
              "It carries no licence notices: it was made from a runtime older than this packer, or not from plinth's.");
    Bytes cut = gzipped("the notices");
    cut.resize(cut.size() - 9);
    tree.set(ResourceName::number(kTypeRcData), ResourceName::named(u"NOTICES"), kLangEnglishUs, cut);
    EXPECT_EQ(installer_notices(build_stub(tree)).error().text, "Its notices can't be read: the resource NOTICES is damaged.");
}

}  // namespace
}  // namespace plinth::pack
