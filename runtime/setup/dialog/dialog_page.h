// One page of the task dialog, and the texts it hands to the dialog.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace plinth {

inline constexpr std::uint32_t kCommonButtonCancel = 0x08;  // TDCBF_CANCEL_BUTTON
inline constexpr std::uint32_t kCommonButtonClose = 0x20;   // TDCBF_CLOSE_BUTTON

struct DialogPageButton {
    std::int32_t id = 0;
    std::string text;
};

struct DialogPage {
    std::string title;
    std::string main_instruction;
    std::string content;  // empty: no content line
    std::vector<DialogPageButton> custom_buttons;
    // Converted texts, each in a heap buffer of its own, so that a configuration's pointers stay
    // valid when the page record moves (the pages array grows).
    std::vector<std::unique_ptr<char16_t[]>> text_store;
    std::unique_ptr<platform::DialogButton[]> dialog_buttons;
    std::optional<std::string> verification_text;
    std::uint32_t common_buttons = kCommonButtonClose;
    bool error_icon = false;
};

// A page with the three texts and the defaults: no custom buttons, no verification text, the
// Close button, no error icon. Every page builder starts from it.
DialogPage make_page(std::string title, std::string main_instruction, std::string content);

}  // namespace plinth
