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
};

inline constexpr std::size_t kMessageCount = 38;

inline constexpr std::array<std::string_view, kMessageCount> kEnglishTexts = {
    "{name} Setup",
    "Install {name} {version}?",
    "Install {name} {version} again?",
    "Update {name} from {installed} to {version}?",
    "It's installed for you only, in {folder}.",
    "Install",
    "Add a shortcut to the desktop",
    "Remove {name}?",
    "{name} will be removed from this computer. The documents you made with it stay where they are.",
    "Remove",
    "{name} is installed",
    "You'll find it in the Start menu.",
    "Open {name}",
    "{name} is removed",
    "{name} couldn't be installed",
    "{name} couldn't be removed",
    "Setup",
    "This installer is damaged",
    "It has nothing in it to install.",
    "Its contents can't be read.",
    "The app inside the installer is damaged.",
    "Can't create the folder {path}: {error}",
    "Can't replace {path}. Close it, then try again.",
    "Can't write to the registry ({key}, error {code}).",
    "Can't read the registry (InstalledFiles, error {code}).",
    "Can't write {path}: {error}",
    "Can't read the installer: {error}",
    "Can't add the shortcut {path}: {error}",
    "{name} is open. Quit it, then try again.",
    "{name} {version} is available",
    "You have version {installed}.",
    "Update",
    "Not now",
    "{name} is up to date",
    "Downloading {name} {version}…",
    "Installing {name} {version}…",
    "{name} {version} is installed",
    "{name} couldn't be updated",
};

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
};

inline constexpr std::string_view english_text(Message message) {
    return kEnglishTexts[static_cast<std::size_t>(message)];
}

}  // namespace plinth
