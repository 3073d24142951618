#include "languages.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "installer_builder.h"
#include "installer_report.h"
#include "pack/synthetic_pe.h"
#include "pe_image.h"
#include "resource_tree.h"
#include "texts/languages_resource.h"
#include "texts/messages.h"
#include "texts/placeholders.h"
#include "texts/text_lookup.h"
#include "package/payload.h"

namespace plinth::pack {
namespace {

using testing::build_stub;

const std::filesystem::path kShipped = std::filesystem::path(PLINTH_SOURCE_DIR) / "share" / "plinth" / "languages";

TextTable complete_table() {
    TextTable table;
    for (std::size_t i = 0; i < kMessageCount; ++i) table[std::string(kMessageKeys[i])] = "~" + std::string(kEnglishTexts[i]);
    return table;
}

struct GateCase {
    const char* what;
    TextTable table;
    bool complete;
    std::vector<std::string> says;  // one finding each, in this order
};

TEST(LanguageGate, EachRefusalNamesTheKeyAndSaysWhatToWrite) {
    TextTable missing_two = complete_table();
    missing_two.erase("install.button");
    missing_two.erase("failure.app_open");
    const GateCase cases[] = {
        {"a full table", complete_table(), true, {}},
        {"part of a shipped language's table", {{"install.button", "Jetzt installieren"}}, false, {}},
        {"an unknown key", {{"install.buton", "Installieren"}}, false,
         {"eo: \"install.buton\" isn't a message key; the keys are listed in docs/languages.md"}},
        {"a placeholder misspelled", {{"install.question", "{name} {versio} installieren?"}}, false,
         {"eo: \"install.question\" has the placeholders {name} and {versio}; it must have {name} and {version}, as the "
          "English \"Install {name} {version}?\" has."}},
        {"a placeholder left out", {{"installed.open", "Öffnen"}}, false,
         {"\"installed.open\" has the placeholders none; it must have {name}"}},
        {"an empty text", {{"remove.button", ""}}, false,
         {"eo: \"remove.button\" is empty; write the text for the English \"Remove\", or leave the key out"}},
        {"a NUL, which would shift every later text", {{"install.button", std::string("Instal\0lieren", 13)}}, false,
         {"eo: \"install.button\" has the control character U+0000 at character 7; a text may hold tabs and line feeds"}},
        {"tabs and line feeds pass, a carriage return doesn't", {{"remove.note", "{name}\tw\u00fcrde\nentfernt\r"}}, false,
         {"eo: \"remove.note\" has the control character U+000D at character 22;"}},
        {"a DEL and a C1 control", {{"remove.button", "Entfernen\x7f"}, {"install.button", "\xc2\x85Los"}}, false,
         {"\"install.button\" has the control character U+0085 at character 1;",
          "\"remove.button\" has the control character U+007F at character 10;"}},
        {"keys missing from a language that isn't shipped", missing_two, true,
         {"eo: \"install.button\" is missing; add it with the text for the English \"Install\".",
          "eo: \"failure.app_open\" is missing; add it with the text for the English \"{name} is open. Quit it, then try "
          "again.\"."}},
    };
    for (const GateCase& c : cases) {
        SCOPED_TRACE(c.what);
        const auto problems = table_problems("eo", c.table, c.complete);
        ASSERT_EQ(problems.size(), c.says.size());
        for (std::size_t i = 0; i < problems.size(); ++i) {
            EXPECT_NE(problems[i].find(c.says[i]), std::string::npos) << problems[i];
        }
    }
}

TEST(LanguageGate, TableFilesOfTheWrongShapeAreRefused) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"install.button": "Installieren"})", "must be an object of language tags"},
        {R"({"de DE": {}})", "\"de DE\" isn't a language tag"},
        {R"({"de": {"install.button": 5}})", "de \"install.button\" is a JSON number; write its text as a string."},
        {R"({"de": {"install.button": "a", "install.button": "b"}})", "is given twice"},
        {R"({"de": {}, "de": {}})", "is given twice"},
        {R"([1])", "must be an object"},
        {R"({"de": )", "isn't valid JSON"},
    };
    for (const auto& [json, says] : cases) {
        const auto tables = parse_table_file(json, "texts.json");
        ASSERT_FALSE(tables.ok()) << json;
        EXPECT_NE(tables.error().find(says), std::string::npos) << tables.error();
    }
}

TEST(LanguageChoiceOption, OptionWinsOverTheManifest) {
    const std::string manifest = R"({"name": "N", "id": "n", "exe": "N.exe", "languages": ["de", "fr"]})";
    EXPECT_EQ(*chosen_languages(manifest, std::nullopt), (std::vector<std::string>{"de", "fr"}));
    EXPECT_EQ(*chosen_languages(manifest, "ja,pt-BR"), (std::vector<std::string>{"ja", "pt-BR"}));
    EXPECT_EQ(*chosen_languages(manifest, "none"), std::vector<std::string>{});
    EXPECT_FALSE(chosen_languages(manifest, "all")->has_value());
    EXPECT_FALSE(chosen_languages(R"({"languages": "all"})", std::nullopt)->has_value());
    EXPECT_FALSE(chosen_languages(R"({})", std::nullopt)->has_value());
    EXPECT_NE(chosen_languages(manifest, "de,,fr").error().find("\"\" isn't a language tag"), std::string::npos);
}

TEST(GatherLanguages, DevelopersTextsOverShippedOnesCutToTheChoice) {
    const TextTables shipped = {{"de", complete_table()}, {"fr", complete_table()}};
    TextTable esperanto = complete_table();
    esperanto["install.button"] = "Instali";
    const TextTables added = {{"de", {{"install.button", "Jetzt installieren"}}}, {"eo", esperanto}};

    const auto all = gather_languages(shipped, added, std::nullopt);
    ASSERT_TRUE(all.ok()) << all.error();
    EXPECT_EQ(all->size(), 3u);
    EXPECT_EQ(all->at("de").at("install.button"), "Jetzt installieren");
    EXPECT_EQ(all->at("de").at("remove.button"), "~Remove");
    EXPECT_EQ(all->at("eo").at("install.button"), "Instali");

    const auto some = gather_languages(shipped, {}, std::vector<std::string>{"fr", "en"});
    ASSERT_TRUE(some.ok());
    EXPECT_EQ(some->size(), 1u);
    EXPECT_TRUE(some->contains("fr"));

    const auto refused = gather_languages(shipped, {{"eo", {{"install.button", "Instali"}}}},
                                          std::vector<std::string>{"de", "xx"});
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().find("eo: \"install.question\" is missing"), std::string::npos);
    EXPECT_NE(refused.error().find("eo is in --texts but not among the chosen languages"), std::string::npos);
    EXPECT_NE(refused.error().find("xx is chosen, but no table has it (the shipped ones are de, fr)"), std::string::npos);

    // A table the installer would refuse to inflate, and so show English: one byte past its
    // limit, beside one that just fits.
    TextTable fits = complete_table();
    std::size_t size = 0;
    for (const auto& [key, text] : fits) size += text.size() + 1;
    fits["remove.note"] += std::string(kMaxTableSize - size, 'x');
    TextTable too_large = fits;
    too_large["remove.note"] += 'x';
    ASSERT_TRUE(gather_languages({}, {{"eo", fits}}, std::nullopt).ok());
    const auto large = gather_languages({}, {{"eo", too_large}}, std::nullopt);
    ASSERT_FALSE(large.ok());
    EXPECT_EQ(large.error(), "eo: the texts come to 1048577 bytes, more than the 1048576 an installer reads (it would "
                             "show English); shorten them.");
}

// The shipped tables, packed and read back as the installer reads them: complete, clean, and
// every text filled in with nothing left over.
TEST(ShippedLanguages, EveryTableIsCompleteAndFillsEveryPlaceholder) {
    const auto shipped = read_shipped_tables(kShipped);
    ASSERT_TRUE(shipped.ok()) << shipped.error();
    EXPECT_GE(shipped->size(), 20u);
    for (const char* tag : {"de", "fr", "es", "it", "pt-BR", "pt-PT", "nl", "pl", "ru", "uk", "tr", "cs", "sv", "ja",
                            "zh-CN", "zh-TW", "ko", "ar", "he"}) {
        EXPECT_TRUE(shipped->contains(tag)) << tag;
    }
    const LanguagesResource resource = build_languages(*shipped);
    ASSERT_EQ(resource.costs.size(), shipped->size());
    std::size_t count = 0;
    LanguagesReader reader(resource.bytes);
    for (CarriedLanguage language; reader.next(language); ++count) {
        SCOPED_TRACE(std::string(language.tag));
        const std::string tag(language.tag);
        EXPECT_EQ(table_problems(tag, shipped->at(tag), true), std::vector<std::string>{});
        auto table = inflate_payload(language.table, kMaxTableSize);
        ASSERT_TRUE(table.ok());
        const TextLookup lookup(language.tag, std::move(*table));
        for (std::size_t i = 0; i < kMessageCount; ++i) {
            const auto message = static_cast<Message>(i);
            EXPECT_TRUE(lookup.has_text(message)) << kMessageKeys[i];
            const std::string filled = lookup.text(message, {"\x01", "\x02", "\x03"});
            EXPECT_EQ(filled.find('{'), std::string::npos) << filled;
            std::size_t values = 0;
            for (auto p = next_placeholder(kEnglishTexts[i], 0); p.length != 0; p = next_placeholder(kEnglishTexts[i], p.at + p.length)) {
                ++values;
            }
            for (std::size_t v = 0; v < values; ++v) EXPECT_NE(filled.find(char(1 + v)), std::string::npos) << filled;
        }
    }
    EXPECT_EQ(count, shipped->size());
}

TEST(LanguagesResource, AnInstallerWithoutLanguagesIsTodaysByteForByte) {
    InstallerInputs in;
    in.manifest_json = R"({"name": "Notes", "id": "com.example.notes", "version": "1.0", "exe": "Notes.exe"})";
    in.app = build_stub(ResourceTree{});
    in.stub = build_stub(ResourceTree{});
    in.compressor = Compressor::zlib;
    const auto plain = build_installer(in);
    ASSERT_TRUE(plain.ok());
    EXPECT_NE(describe_installer(plain->installer)->find("Languages: English only\n"), std::string::npos);

    const auto shipped = read_shipped_tables(kShipped);
    ASSERT_TRUE(shipped.ok());
    in.languages = build_languages({{"de", shipped->at("de")}, {"ja", shipped->at("ja")}}).bytes;
    const auto with = build_installer(in);
    ASSERT_TRUE(with.ok());
    const auto report = describe_installer(with->installer);
    ASSERT_TRUE(report.ok());
    EXPECT_NE(report->find("Languages: English and 2 more"), std::string::npos) << *report;
    EXPECT_NE(report->find("  ja  "), std::string::npos);
    EXPECT_NE(report->find("43 of 43 texts"), std::string::npos);

    const auto rcdata3 = [](const Bytes& installer) {
        const auto tree = read_resource_tree(*read_pe_image(installer));
        return tree->find(ResourceName::number(kTypeRcData), ResourceName::number(3)) != nullptr;
    };
    EXPECT_FALSE(rcdata3(plain->installer));
    EXPECT_TRUE(rcdata3(with->installer));
}

}  // namespace
}  // namespace plinth::pack
