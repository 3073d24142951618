#include "dialog/pages.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace plinth {
namespace {

AppManifest manifest() {
    return {.name = "Sketch Pad",
            .id = "com.example.sketchpad",
            .version = "1.9",
            .publisher = "Example",
            .exe = "SketchPad.exe"};
}

struct InstallWording {
    std::optional<std::string> installed;
    std::string instruction;
};

TEST(InstallPage, WordingFollowsTheInstalledVersionComparedByteForByte) {
    const InstallWording cases[] = {
        {std::nullopt, "Install Sketch Pad 1.9?"},
        {"1.9", "Install Sketch Pad 1.9 again?"},
        // Never ordered: an older or newer installed version reads the same way.
        {"1.10", "Update Sketch Pad from 1.10 to 1.9?"},
        {"1.8", "Update Sketch Pad from 1.8 to 1.9?"},
        // Differences of form only are still differences.
        {"1.9.0", "Update Sketch Pad from 1.9.0 to 1.9?"},
        {"1.9 ", "Update Sketch Pad from 1.9  to 1.9?"},
        {"", "Update Sketch Pad from  to 1.9?"},
        {std::string("1.9\0", 4), "Update Sketch Pad from 1.9\\0 to 1.9?"},  // shown, not cut
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.installed.value_or("<none>"));
        EXPECT_EQ(install_page(manifest(), c.installed, u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Sketch Pad")
                      .main_instruction,
                  c.instruction);
    }
}

TEST(InstallPage, LetterCaseMakesAnUpdate) {
    AppManifest m = manifest();
    m.version = "1.0-beta";
    EXPECT_EQ(install_page(m, "1.0-BETA", u"C:\\x").main_instruction, "Update Sketch Pad from 1.0-BETA to 1.0-beta?");
}

TEST(InstallPage, ElementsBesideTheInstruction) {
    const DialogPage page = install_page(manifest(), std::nullopt, u"C:\\Users\\Ann\\AppData\\Local\\Programs\\Sketch Pad");
    EXPECT_EQ(page.title, "Sketch Pad Setup");
    EXPECT_EQ(page.content, "It's installed for you only, in C:\\Users\\Ann\\AppData\\Local\\Programs\\Sketch Pad.");
    ASSERT_EQ(page.custom_buttons.size(), 1u);
    EXPECT_EQ(page.custom_buttons[0].id, 100);
    EXPECT_EQ(page.custom_buttons[0].text, "Install");
    EXPECT_EQ(page.common_buttons, 0x08u);
    EXPECT_EQ(page.verification_text, "Add a shortcut to the desktop");
    EXPECT_FALSE(page.error_icon);
}

TEST(InstallPage, FolderWithAnUnpairedSurrogateIsShownLossily) {
    const Path folder = u"C:\\Apps\\" + std::u16string(1, char16_t(0xD83D)) + u"x";
    EXPECT_EQ(install_page(manifest(), std::nullopt, folder).content,
              "It's installed for you only, in C:\\Apps\\\xEF\xBF\xBDx.");
}

// Every page but the install page, element by element.
struct PageExpectation {
    const char* label;
    DialogPage page;
    std::string title;
    std::string instruction;
    std::string content;
    std::vector<std::pair<std::int32_t, std::string>> buttons;
    std::uint32_t common_buttons;
    bool error_icon;
};

TEST(Pages, EachPageHasItsTextsButtonsAndIcon) {
    const std::string removal_text = "Sketch Pad is open. Quit it, then try again.";
    const PageExpectation cases[] = {
        {"remove", remove_page(manifest()), "Sketch Pad Setup", "Remove Sketch Pad?",
         "Sketch Pad will be removed from this computer. The documents you made with it stay where they are.",
         {{100, "Remove"}}, 0x08, false},
        {"installed", installed_page(manifest()), "Sketch Pad Setup", "Sketch Pad is installed",
         "You'll find it in the Start menu.", {{101, "Open Sketch Pad"}}, 0x20, false},
        {"removed", removed_page(manifest()), "Sketch Pad Setup", "Sketch Pad is removed", "", {}, 0x20, false},
        {"install failure", failure_page(manifest(), false, Failure{"Can't write C:\\x: Access is denied. (os error 5)"}),
         "Sketch Pad Setup", "Sketch Pad couldn't be installed", "Can't write C:\\x: Access is denied. (os error 5)",
         {}, 0x20, true},
        {"removal failure", failure_page(manifest(), true, Failure{removal_text}), "Sketch Pad Setup",
         "Sketch Pad couldn't be removed", removal_text, {}, 0x20, true},
        {"damaged", damaged_installer_page(Failure{"Its contents can't be read."}), "Setup", "This installer is damaged",
         "Its contents can't be read.", {}, 0x20, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(c.page.title, c.title);
        EXPECT_EQ(c.page.main_instruction, c.instruction);
        EXPECT_EQ(c.page.content, c.content);
        std::vector<std::pair<std::int32_t, std::string>> buttons;
        for (const auto& b : c.page.custom_buttons) buttons.emplace_back(b.id, b.text);
        EXPECT_EQ(buttons, c.buttons);
        EXPECT_EQ(c.page.common_buttons, c.common_buttons);
        EXPECT_FALSE(c.page.verification_text.has_value());
        EXPECT_EQ(c.page.error_icon, c.error_icon);
        EXPECT_TRUE(c.page.text_store.empty());
    }
}

TEST(Pages, ValuesAreInsertedVerbatim) {
    AppManifest m = manifest();
    m.name = "{} 100% \xF0\x9F\x8E\xA8 Pad";  // braces, percent and a character outside the BMP
    EXPECT_EQ(remove_page(m).main_instruction, "Remove {} 100% \xF0\x9F\x8E\xA8 Pad?");
    EXPECT_EQ(installed_page(m).custom_buttons.at(0).text, "Open {} 100% \xF0\x9F\x8E\xA8 Pad");
    EXPECT_EQ(failure_page(m, false, Failure{"{}"}).content, "{}");
}

TEST(Pages, ControlCharactersOfAHandMadeNameShowVisibly) {
    AppManifest m = manifest();
    m.name = "Pad\r\nsetup: \x1B[0m";
    m.version = "2\n";
    EXPECT_EQ(remove_page(m).main_instruction, "Remove Pad\\r\\nsetup: \\x1B[0m?");
    EXPECT_EQ(setup_title(m), "Pad\\r\\nsetup: \\x1B[0m Setup");
    EXPECT_EQ(install_page(m, "1\t", u"C:\\P").main_instruction,
              "Update Pad\\r\\nsetup: \\x1B[0m from 1\\t to 2\\n?");
}

TEST(Pages, ReleaseNotesAreBoundedAndShowNoControlCharacters) {
    EXPECT_EQ(notes_shown("Faster.\r\n- Fixed\tthe\x1b bug"), "Faster.\n- Fixed\tthe  bug");
    const std::string full(kMaxNotesShown, 'a');
    EXPECT_EQ(notes_shown(full), full);
    // Cut before a character that would straddle the bound, never inside it.
    EXPECT_EQ(notes_shown(full.substr(1) + "\u00e9"), full.substr(1) + "\u2026");
    EXPECT_EQ(notes_shown(full + "b"), full + "\u2026");
}

TEST(MakePage, TextsWithTheDefaults) {
    const DialogPage page = make_page("T", "I", "C");
    EXPECT_EQ(page.title, "T");
    EXPECT_EQ(page.main_instruction, "I");
    EXPECT_EQ(page.content, "C");
    EXPECT_TRUE(page.custom_buttons.empty());
    EXPECT_FALSE(page.verification_text.has_value());
    EXPECT_EQ(page.common_buttons, 0x20u);
    EXPECT_FALSE(page.error_icon);
}

}  // namespace
}  // namespace plinth
