#include "texts/text_lookup.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dialog/pages.h"
#include "entry/run.h"
#include "failures/message_failure.h"
#include "package/container.h"
#include "platform/fake/fake_platform.h"
#include "support/zlib_stream.h"
#include "texts/language_choice.h"
#include "texts/languages_resource.h"

namespace plinth {
namespace {

using fake::FakePlatform;
using fake::UserAction;

// A table with the given texts at their messages' places, the others empty.
std::vector<std::uint8_t> table_bytes(const std::vector<std::pair<Message, std::string>>& texts) {
    std::vector<std::string> all(kMessageCount);
    for (const auto& [message, text] : texts) all[static_cast<std::size_t>(message)] = text;
    return build_text_table(all);
}

std::vector<std::uint8_t> resource(const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& tables) {
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> streams;
    for (const auto& [tag, table] : tables) streams.emplace_back(tag, testing_support::zlib_stream(table));
    return build_languages_resource(streams);
}

struct Choice {
    std::string preferred;  // as Windows lists them
    std::vector<std::string> carried;
    std::string chosen;  // empty: English
};

TEST(LanguageChoice, ExactTagThenLanguageInTheUsersOrderThenEnglish) {
    const Choice cases[] = {
        {"de-DE", {"fr", "de"}, "de"},
        {"pt-BR", {"pt-PT", "pt-BR"}, "pt-BR"},
        {"pt-BR", {"pt"}, "pt"},
        // A region is never swapped for another: pt-AO finds neither pt-BR nor pt-PT.
        {"pt-AO", {"pt-BR", "pt-PT"}, ""},
        {"en-US,de-DE", {"de"}, ""},
        {"en-GB", {"en-GB"}, ""},
        {"fr-CA,de-DE", {"de", "es"}, "de"},
        // The user's first language without its region wins over the second one's exact tag.
        {"de-CH,fr-FR", {"fr-FR", "de"}, "de"},
        {"ZH-cn", {"zh-TW", "zh-CN"}, "zh-CN"},
        {"zh-HK", {"zh-CN", "zh-TW"}, ""},
        {"", {"de"}, ""},
        {"de-DE", {}, ""},
        {",de-DE,", {"de"}, "de"},
        {"d", {"de"}, ""},
        // The language alone is the part before the first hyphen: zh-Hant isn't zh-Hant-TW's.
        {"zh-Hant-TW", {"zh-Hant", "zh"}, "zh"},
        {"zh-Hant-TW,de", {"zh-Hant", "de"}, "de"},
        {"de-DE-1996", {"de-DE"}, ""},
        {"fr,de", {"de", "fr-CA", "FR"}, "FR"},
    };
    for (const Choice& c : cases) {
        SCOPED_TRACE(c.preferred);
        std::vector<std::pair<std::string, std::vector<std::uint8_t>>> tables;
        for (const std::string& tag : c.carried) tables.emplace_back(tag, table_bytes({}));
        const auto bytes = resource(tables);  // the chosen tag is a view into it
        const auto chosen = choose_language(c.preferred, bytes);
        EXPECT_EQ(chosen ? std::string(chosen->tag) : std::string(), c.chosen);
    }
}

TEST(LanguageChoice, RightToLeftLanguages) {
    for (const char* tag : {"ar", "ar-SA", "he", "HE-il", "fa-IR", "ur"}) EXPECT_TRUE(is_right_to_left(tag)) << tag;
    for (const char* tag : {"de", "arn", "en-US", "", "hr"}) EXPECT_FALSE(is_right_to_left(tag)) << tag;
}

TEST(TextLookup, EachTextTheTableLacksOrGetsWrongIsEnglish) {
    const TextLookup lookup("de", table_bytes({
                                      {Message::install_button, "Installieren"},
                                      {Message::installed_heading, "{name} wurde installiert"},
                                      {Message::install_question, "{name} installieren?"},  // {version} left out
                                      {Message::remove_question, "{name} {nom} deinstallieren?"},
                                      {Message::installed_note, "\xC3\x28 Startmen\xC3\xBC"},  // not UTF-8
                                      {Message::update_question, "{name}: {installed} \xE2\x86\x92 {version} {name}"},
                                  }));
    EXPECT_EQ(lookup.text(Message::install_button), "Installieren");
    EXPECT_EQ(lookup.text(Message::installed_heading, {"Notes"}), "Notes wurde installiert");
    EXPECT_EQ(lookup.text(Message::install_question, {"Notes", "2.0"}), "Install Notes 2.0?");
    EXPECT_EQ(lookup.text(Message::remove_question, {"Notes"}), "Remove Notes?");
    EXPECT_EQ(lookup.text(Message::remove_button), "Remove");  // empty in the table
    EXPECT_EQ(lookup.text(Message::installed_note), "You'll find it in the Start menu.");
    // Reordered and repeated placeholders are filled in.
    EXPECT_EQ(lookup.text(Message::update_question, {"Notes", "1.0", "2.0"}), "Notes: 1.0 \xE2\x86\x92 2.0 Notes");
    // Values are inserted as they are: an app named like a placeholder stays so.
    EXPECT_EQ(lookup.text(Message::installed_heading, {"{version}"}), "{version} wurde installiert");
    // What inspect counts agrees with what is shown.
    EXPECT_TRUE(lookup.has_text(Message::update_question));
    for (const Message wrong : {Message::install_question, Message::remove_question, Message::remove_button,
                                Message::installed_note}) {
        EXPECT_FALSE(lookup.has_text(wrong)) << english_text(wrong);
    }

    // A table of one text too few or too many, or without its last NUL, is all English: a NUL
    // inside a text would otherwise shift every later one onto the next message's place.
    std::vector<std::string> texts(kMessageCount);
    texts[static_cast<std::size_t>(Message::setup_title)] = "{name}-Setup";
    texts[static_cast<std::size_t>(Message::remove_button)] = "Entfernen";
    texts[static_cast<std::size_t>(Message::install_button)] = "Installieren";
    const auto whole = build_text_table(texts);
    EXPECT_EQ(TextLookup("de", whole).text(Message::remove_button), "Entfernen");
    texts[static_cast<std::size_t>(Message::setup_title)] = std::string("{name}-Setup\0Los", 16);
    const auto shifted = build_text_table(texts);
    std::vector<std::uint8_t> cut(whole.begin(), whole.end() - 1);
    std::vector<std::uint8_t> short_one(whole.begin(), whole.end() - 2);
    for (const auto& [label, table] : {std::pair{"one text too many", shifted}, std::pair{"without its last NUL", cut},
                                       std::pair{"one text too few", short_one}}) {
        const TextLookup lookup("ar", table);
        EXPECT_EQ(lookup.text(Message::setup_title, {"Notes"}), "Notes Setup") << label;
        EXPECT_EQ(lookup.text(Message::remove_button), "Remove") << label;
        EXPECT_FALSE(lookup.has_text(Message::install_button)) << label;
        EXPECT_FALSE(lookup.right_to_left()) << label;
    }
}

TEST(TextLookup, FailurePagesShowAFailureThatIsAMessageInTheLanguage) {
    const TextLookup de("de", table_bytes({
                                  {Message::cant_write, "{path} kann nicht geschrieben werden: {error}"},
                                  {Message::cant_write_registry, "Registrierung: {key}, Fehler {code}."},
                                  {Message::app_is_open, "{name} ist geöffnet."},
                                  {Message::no_package, "Es enthält nichts."},
                              }));
    AppManifest m;
    m.name = "Notes";
    struct Row {
        Failure failure;
        std::string english;  // the setup: line's text
        std::string shown;
    };
    const Row rows[] = {
        {fail(Message::cant_write, {"C:\\Apps\\Notes.exe", "Zugriff verweigert. (os error 5)"}).error(),
         "Can't write C:\\Apps\\Notes.exe: Zugriff verweigert. (os error 5)",
         "C:\\Apps\\Notes.exe kann nicht geschrieben werden: Zugriff verweigert. (os error 5)"},
        {fail(Message::cant_write_registry, {"Software\\a: b", "5"}).error(),
         "Can't write to the registry (Software\\a: b, error 5).", "Registrierung: Software\\a: b, Fehler 5."},
        // Controls of a value show in both; a value that looks like a placeholder is never filled.
        {fail(Message::app_is_open, {"Notes\n{path}"}).error(), "Notes\\n{path} is open. Quit it, then try again.",
         "Notes\\n{path} ist geöffnet."},
        // A message the table lacks, and texts that are no message, stay as they are: English
        // wording alone is no longer taken for a message.
        {fail(Message::cant_replace, {"C:\\x"}).error(), "Can't replace C:\\x. Close it, then try again.",
         "Can't replace C:\\x. Close it, then try again."},
        {Failure{"It has nothing in it to install."}, "It has nothing in it to install.",
         "It has nothing in it to install."},
        {fail("Access is denied.").error(), "Access is denied.", "Access is denied."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.english);
        EXPECT_EQ(row.failure.text, row.english);
        EXPECT_EQ(failure_page(m, false, row.failure, de).content, row.shown);
        EXPECT_EQ(failure_page(m, false, row.failure).content, row.english);
    }
    EXPECT_EQ(damaged_installer_page(fail(Message::no_package).error(), de).content, "Es enthält nichts.");
    EXPECT_EQ(damaged_installer_page(fail(Message::no_package).error()).content, "It has nothing in it to install.");
}

TEST(LoadTextLookup, ReadsTheResourceOnlyForAUserWhoseFirstLanguageIsntEnglish) {
    FakePlatform fake;
    fake.module.languages = resource({{"de", table_bytes({{Message::install_button, "Installieren"}})},
                                      {"fr", table_bytes({{Message::install_button, "Installer"}})}});
    fake.session.ui_languages = "en-GB,de-DE";
    EXPECT_EQ(load_text_lookup(fake.platform()).text(Message::install_button), "Install");
    EXPECT_EQ(fake.module.languages_reads, 0);

    fake.session.ui_languages = "fr-BE,de-DE";
    const TextLookup lookup = load_text_lookup(fake.platform());
    EXPECT_EQ(lookup.text(Message::install_button), "Installer");
    EXPECT_EQ(lookup.text(Message::remove_button), "Remove");
}

TEST(LoadTextLookup, DamageGivesFewerLanguagesOrEnglishNeverAFailure) {
    const std::vector<std::uint8_t> whole = resource({{"de", table_bytes({{Message::install_button, "Installieren"}})},
                                                      {"fr", table_bytes({{Message::install_button, "Installer"}})}});
    const std::size_t de_stream = 8 + 1 + 2 + 4;
    std::vector<std::uint8_t> bad_stream = whole;
    bad_stream[de_stream + 3] ^= 0xFF;
    std::vector<std::uint8_t> bad_magic = whole;
    bad_magic[0] = 'X';
    std::vector<std::uint8_t> long_claim = whole;
    long_claim[de_stream - 1] = 0x7F;  // de's stream claims 2 GiB
    std::vector<std::uint8_t> bad_tag = whole;
    bad_tag[9] = '-';
    const std::pair<std::vector<std::uint8_t>, std::string> cases[] = {
        {bad_stream, "Install"},
        {bad_magic, "Install"},
        {long_claim, "Install"},
        {bad_tag, "Install"},
        {std::vector<std::uint8_t>(whole.begin(), whole.end() - 3), "Installieren"},  // fr cut short: de stays
        {std::vector<std::uint8_t>(whole.begin(), whole.begin() + 9), "Install"},
        {{}, "Install"},
    };
    for (const auto& [bytes, shown] : cases) {
        FakePlatform fake;
        fake.module.languages = bytes;
        fake.session.ui_languages = "de-DE,fr-FR";
        EXPECT_EQ(load_text_lookup(fake.platform()).text(Message::install_button), shown);
    }
}

void usable_package(FakePlatform& fake) {
    fake.module.package = build_package(
        R"({"name":"Sketch Pad","id":"com.example.sketchpad","version":"2.0","exe":"SketchPad.exe"})",
        testing_support::zlib_stream("MZ the app"));
    fake.files.add_file(fake.module.path, "MZ the installer");
}

std::vector<std::uint8_t> arabic_and_german() {
    return resource({{"ar", table_bytes({{Message::install_button, "تثبيت"},
                                         {Message::not_installed_heading, "تعذّر تثبيت {name}"}})},
                     {"de", table_bytes({{Message::install_button, "Installieren"},
                                         {Message::not_installed_heading, "{name} konnte nicht installiert werden"},
                                         {Message::cant_write, "{path} kann nicht geschrieben werden: {error}"}})}});
}

TEST(Languages, PagesSpeakTheUsersLanguageAndTheSetupLineStaysEnglish) {
    for (const bool silent : {false, true}) {
        SCOPED_TRACE(silent ? "silent" : "interactive");
        FakePlatform fake;
        usable_package(fake);
        fake.module.languages = arabic_and_german();
        fake.session.ui_languages = "de-AT";
        fake.faults.fail("files.write_file", 5);
        fake.session.command_line = {fake.module.path};
        if (silent) fake.session.command_line.push_back(u"/S");
        fake.dialogs.script = {UserAction::click(100), UserAction::click(fake::kIdClose)};
        EXPECT_EQ(run_setup(fake.platform()), 1);
        const std::string folder = "C:\\Users\\Ann\\AppData\\Local\\Programs\\Sketch Pad\\SketchPad.exe";
        if (silent) {
            EXPECT_EQ(fake.session.standard_error, "setup: Can't write " + folder + ": Access is denied. (os error 5)\n");
            EXPECT_EQ(fake.module.languages_reads, 0);
            continue;
        }
        ASSERT_EQ(fake.dialogs.pages.size(), 2u);
        EXPECT_EQ(fake.dialogs.pages[0].buttons[0].second, "Installieren");
        EXPECT_EQ(fake.dialogs.pages[0].window_title, "Sketch Pad Setup");  // not in the table: English
        EXPECT_EQ(fake.dialogs.pages[1].main_instruction, "Sketch Pad konnte nicht installiert werden");
        EXPECT_EQ(fake.dialogs.pages[1].content,
                  folder + " kann nicht geschrieben werden: Access is denied. (os error 5)");
        EXPECT_EQ(fake.dialogs.pages[1].config.flags & 0x2000u, 0u);
        EXPECT_EQ(fake.session.standard_error, "");
    }
}

TEST(Languages, ArabicPagesAreLaidOutRightToLeftTheDamagedPageToo) {
    FakePlatform fake;
    usable_package(fake);
    fake.module.languages = arabic_and_german();
    fake.session.ui_languages = "ar-SA";
    fake.faults.fail("files.write_file", 5);
    fake.dialogs.script = {UserAction::click(100), UserAction::click(fake::kIdClose)};
    EXPECT_EQ(run_setup(fake.platform()), 1);
    ASSERT_EQ(fake.dialogs.pages.size(), 2u);
    EXPECT_EQ(fake.dialogs.pages[0].buttons[0].second, "تثبيت");
    EXPECT_EQ(fake.dialogs.pages[1].main_instruction, "تعذّر تثبيت Sketch Pad");
    for (const auto& page : fake.dialogs.pages) EXPECT_EQ(page.config.flags & 0x2000u, 0x2000u);

    FakePlatform damaged;
    damaged.module.languages = arabic_and_german();
    damaged.session.ui_languages = "ar-SA";
    EXPECT_EQ(run_setup(damaged.platform()), 1);
    ASSERT_EQ(damaged.dialogs.pages.size(), 1u);
    EXPECT_EQ(damaged.dialogs.pages[0].config.flags & 0x2000u, 0x2000u);
    EXPECT_EQ(damaged.session.standard_error, "setup: It has nothing in it to install.\n");
}

}  // namespace
}  // namespace plinth

#include <fstream>
#include <sstream>

namespace plinth {
namespace {

// A translator starts from docs/languages.md's table: it lists every message, as English has it.
TEST(Messages, TheLanguagesDocumentListsEveryKeyWithItsEnglishText) {
    std::ifstream file(std::string(PLINTH_SOURCE_DIR) + "/docs/languages.md");
    std::stringstream text;
    text << file.rdbuf();
    for (std::size_t i = 0; i < kMessageCount; ++i) {
        const std::string row = "| `" + std::string(kMessageKeys[i]) + "` | " + std::string(kEnglishTexts[i]) + " |";
        EXPECT_NE(text.str().find(row), std::string::npos) << row;
    }
}

}  // namespace
}  // namespace plinth
