// One page of the task dialog, and the texts it hands to the dialog.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace plinth {

inline constexpr std::uint32_t kCommonButtonCancel = 0x08;  // TDCBF_CANCEL_BUTTON
inline constexpr std::uint32_t kCommonButtonClose = 0x20;   // TDCBF_CLOSE_BUTTON

struct DialogPageButton {
    std::int32_t id = 0;
    std::string text;
};

// An icon handle the platform loaded for a page, destroyed with the page: the dialog only
// borrows the icon it is given.
class PageIcon {
public:
    PageIcon(platform::Module& module, std::uintptr_t handle) : module_(&module), handle_(handle) {}
    PageIcon(PageIcon&& other) noexcept
        : module_(std::exchange(other.module_, nullptr)), handle_(std::exchange(other.handle_, 0)) {}
    PageIcon& operator=(PageIcon&&) = delete;
    ~PageIcon();

    std::uintptr_t get() const { return handle_; }

private:
    platform::Module* module_;
    std::uintptr_t handle_;
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
    // The app icons of its conversions, kept, like the texts, while the page lives.
    std::vector<PageIcon> icons;
    std::optional<std::string> verification_text;
    std::string expanded;  // the details area's text; empty: none
    std::uint32_t common_buttons = kCommonButtonClose;
    std::uint32_t flags = 0;  // TDF_ flags beside those the conversion sets
    bool error_icon = false;
    bool right_to_left = false;  // laid out right to left, as Arabic and Hebrew are written
};

// A page with the three texts and the defaults: no custom buttons, no verification text, the
// Close button, no error icon. Every page builder starts from it.
DialogPage make_page(std::string title, std::string main_instruction, std::string content);

// Adds a custom button after those the page has (out of line: each page's list built in place
// would copy its texts through an initializer list).
void add_button(DialogPage& page, std::int32_t id, std::string text);

}  // namespace plinth
