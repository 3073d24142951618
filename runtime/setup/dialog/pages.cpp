#include "dialog/pages.h"

#include <utility>

#include "failures/message_failure.h"

namespace plinth {
namespace {

// The app's name and versions as the pages show them: a hand-made package's control characters
// (a line break, an escape) visible rather than acted on.
std::string name_of(const AppManifest& manifest) { return visible_controls(manifest.name); }

// A page in the lookup's language, laid out as that language is written.
DialogPage page_for(const TextLookup& texts, std::string title, std::string main_instruction, std::string content) {
    DialogPage page = make_page(std::move(title), std::move(main_instruction), std::move(content));
    page.right_to_left = texts.right_to_left();
    return page;
}

// A page of the setup's own: its title names the app, as its heading does.
DialogPage app_page(const AppManifest& manifest, const TextLookup& texts, Message heading, std::string content) {
    const std::string name = name_of(manifest);
    return page_for(texts, texts.text(Message::setup_title, {name}), texts.text(heading, {name}), std::move(content));
}

}  // namespace

std::string failure_content(const Failure& failure, const TextLookup& texts) {
    if (failure.message == kNoMessage || !texts.has_text(failure.message)) return failure.text;
    const PlaceholderValues values = failure_values(failure);
    return texts.text(failure.message, {values[0], values[1], values[2]});
}

std::string setup_title(const AppManifest& manifest, const TextLookup& texts) {
    return texts.text(Message::setup_title, {name_of(manifest)});
}

DialogPage install_page(const AppManifest& manifest, const std::optional<std::string>& installed_version,
                        const Path& install_folder, const TextLookup& texts) {
    const std::string name = name_of(manifest);
    const std::string version = visible_controls(manifest.version);
    std::string instruction;
    if (!installed_version || *installed_version == manifest.version) {
        // Byte for byte: "1.0" and "1.0.0" are different versions here, never ordered.
        instruction = texts.text(installed_version ? Message::install_again_question : Message::install_question, {name, version});
    } else {
        instruction = texts.text(Message::update_question, {name, visible_controls(*installed_version), version});
    }
    DialogPage page = page_for(texts, texts.text(Message::setup_title, {name}), std::move(instruction),
                               texts.text(Message::install_folder_note, {path_text(install_folder)}));
    add_button(page, kActionButton, texts.text(Message::install_button));
    page.common_buttons = kCommonButtonCancel;
    page.verification_text = texts.text(Message::desktop_shortcut_check);
    return page;
}

DialogPage remove_page(const AppManifest& manifest, const TextLookup& texts) {
    DialogPage page = app_page(manifest, texts, Message::remove_question, texts.text(Message::remove_note, {name_of(manifest)}));
    add_button(page, kActionButton, texts.text(Message::remove_button));
    page.common_buttons = kCommonButtonCancel;
    return page;
}

DialogPage installed_page(const AppManifest& manifest, const TextLookup& texts) {
    DialogPage page = app_page(manifest, texts, Message::installed_heading, texts.text(Message::installed_note));
    add_button(page, kOpenButton, texts.text(Message::open_button, {name_of(manifest)}));
    return page;
}

DialogPage removed_page(const AppManifest& manifest, const TextLookup& texts) {
    return app_page(manifest, texts, Message::removed_heading, {});
}

DialogPage failure_page(const AppManifest& manifest, bool remove_mode, const Failure& failure,
                        const TextLookup& texts) {
    DialogPage page = app_page(manifest, texts, remove_mode ? Message::not_removed_heading : Message::not_installed_heading,
                               failure_content(failure, texts));
    page.error_icon = true;
    return page;
}

DialogPage damaged_installer_page(const Failure& failure, const TextLookup& texts) {
    DialogPage page = page_for(texts, texts.text(Message::damaged_title), texts.text(Message::damaged_heading),
                               failure_content(failure, texts));
    page.error_icon = true;
    return page;
}

std::string notes_shown(std::string_view notes) {
    std::string shown;
    const bool cut = notes.size() > kMaxNotesShown;
    if (cut) {
        std::size_t end = kMaxNotesShown;
        while (end > 0 && (static_cast<unsigned char>(notes[end]) & 0xC0) == 0x80) --end;  // not inside a character
        notes = notes.substr(0, end);
    }
    for (char c : notes) {
        if (c == '\r') continue;
        shown.push_back(static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t' ? ' ' : c);
    }
    if (cut) shown += "\u2026";
    return shown;
}

DialogPage update_page(const AppManifest& manifest, Message heading, std::string_view version, std::string content,
                       const TextLookup& texts) {
    return page_for(texts, name_of(manifest), texts.text(heading, {name_of(manifest), version}), std::move(content));
}

}  // namespace plinth
