// The installer's own texts: each message's English wording, and the key a table file names it by.
// English is the default: it is shown when the user's language isn't carried, and for any message
// a carried table lacks or gets wrong. Placeholders are written {word}, each used once in the
// English text; a translation uses the same ones, in any order. A message's number is its place
// in the tables an installer carries: new messages are added at the end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace plinth {

enum class Message : std::uint8_t {
    setup_title,
    install_question,
    install_again_question,
    update_question,
    install_folder_note,
    install_button,
    desktop_shortcut_check,
    remove_question,
    remove_note,
    remove_button,
    installed_heading,
    installed_note,
    open_button,
    removed_heading,
    not_installed_heading,
    not_removed_heading,
    damaged_title,
    damaged_heading,
    // Failure texts: composed in English where the failure happens (the setup: line keeps them
    // so); the failure carries its message and values for the page (failures/message_failure.h).
    no_package,
    unreadable_package,
    damaged_app,
    cant_create_folder,
    cant_replace,
    cant_write_registry,
    cant_read_registry,
    cant_write,
    cant_read_installer,
    cant_add_shortcut,
    app_is_open,
    // The interactive update's pages.
    update_available,
    update_current_version,
    update_button,
    not_now_button,
    up_to_date,
    update_downloading,
    update_installing,
    update_installed,
    update_failed,
    update_checking,
    // The licence window, and the install page's folder choice.
    license_heading,
    accept_button,
    cancel_button,
    change_folder_button,
};

inline constexpr std::size_t kMessageCount = 43;

// The English wordings, each ended by a NUL, in the order of the messages: one string with
// offsets rather than an array of views, whose every pointer costs the stub a relocation.
inline constexpr char kEnglishWordings[] =
    "{name} Setup\0"
    "Install {name} {version}?\0"
    "Install {name} {version} again?\0"
    "Update {name} from {installed} to {version}?\0"
    "It's installed for you only, in {folder}.\0"
    "Install\0"
    "Add a shortcut to the desktop\0"
    "Remove {name}?\0"
    "{name} will be removed from this computer. The documents you made with it stay where they are.\0"
    "Remove\0"
    "{name} is installed\0"
    "You'll find it in the Start menu.\0"
    "Open {name}\0"
    "{name} is removed\0"
    "{name} couldn't be installed\0"
    "{name} couldn't be removed\0"
    "Setup\0"
    "This installer is damaged\0"
    "It has nothing in it to install.\0"
    "Its contents can't be read.\0"
    "The app inside the installer is damaged.\0"
    "Can't create the folder {path}: {error}\0"
    "Can't replace {path}. Close it, then try again.\0"
    "Can't write to the registry ({key}, error {code}).\0"
    "Can't read the registry (InstalledFiles, error {code}).\0"
    "Can't write {path}: {error}\0"
    "Can't read the installer: {error}\0"
    "Can't add the shortcut {path}: {error}\0"
    "{name} is open. Quit it, then try again.\0"
    "{name} {version} is available\0"
    "You have version {installed}.\0"
    "Update\0"
    "Not now\0"
    "{name} is up to date\0"
    "Downloading {name} {version}…\0"
    "Installing {name} {version}…\0"
    "{name} {version} is installed\0"
    "{name} couldn't be updated\0"
    "Checking for updates…\0"
    "To install {name}, you must accept its license.\0"
    "I accept\0"
    "Cancel\0"
    "Change folder...\0";

// Where each message's wording starts in kEnglishWordings, and where the one after it would.
inline constexpr std::array<std::uint16_t, kMessageCount + 1> kEnglishStarts = [] {
    std::array<std::uint16_t, kMessageCount + 1> starts{};
    std::size_t at = 0;
    for (std::size_t i = 0; i <= kMessageCount; ++i) {
        starts[i] = static_cast<std::uint16_t>(at);
        while (i < kMessageCount && kEnglishWordings[at] != '\0') ++at;
        ++at;
    }
    return starts;
}();
static_assert(kEnglishStarts[kMessageCount] == sizeof(kEnglishWordings) - 1, "one wording per message");
// Each brace of the English wordings opens a placeholder: filling one in counts its braces.
static_assert([] {
    for (std::size_t at = 0; at < sizeof(kEnglishWordings); ++at) {
        if (kEnglishWordings[at] != '{') continue;
        std::size_t end = at + 1;
        while (kEnglishWordings[end] >= 'a' && kEnglishWordings[end] <= 'z') ++end;
        if (end == at + 1 || kEnglishWordings[end] != '}') return false;
    }
    return true;
}(), "a brace that is no placeholder");

inline constexpr std::string_view english_text(Message message) {
    const auto index = static_cast<std::size_t>(message);
    return {kEnglishWordings + kEnglishStarts[index], kEnglishStarts[index + 1] - kEnglishStarts[index] - 1u};
}

// The same wordings as views, for the packer and tests (the stub uses english_text).
inline constexpr std::array<std::string_view, kMessageCount> kEnglishTexts = [] {
    std::array<std::string_view, kMessageCount> texts{};
    for (std::size_t i = 0; i < kMessageCount; ++i) texts[i] = english_text(static_cast<Message>(i));
    return texts;
}();

// The keys of table files; only the packer reads them.
inline constexpr std::array<std::string_view, kMessageCount> kMessageKeys = {
    "setup.title",
    "install.question",
    "install.again",
    "install.update",
    "install.folder",
    "install.button",
    "install.desktop",
    "remove.question",
    "remove.note",
    "remove.button",
    "installed.heading",
    "installed.note",
    "installed.open",
    "removed.heading",
    "failed.install",
    "failed.remove",
    "damaged.title",
    "damaged.heading",
    "failure.empty",
    "failure.unreadable",
    "failure.damaged_app",
    "failure.create_folder",
    "failure.replace",
    "failure.registry_write",
    "failure.registry_read",
    "failure.write",
    "failure.read_installer",
    "failure.shortcut",
    "failure.app_open",
    "update.available",
    "update.current",
    "update.button",
    "update.later",
    "update.none",
    "update.downloading",
    "update.installing",
    "update.installed",
    "update.failed",
    "update.checking",
    "license.heading",
    "license.accept",
    "license.cancel",
    "install.change_folder",
};

}  // namespace plinth
