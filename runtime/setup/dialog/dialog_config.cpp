#include "dialog/dialog_config.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <utility>

#include "common/text.h"
#include "dialog/dialog_flow.h"

namespace plinth {
namespace {

// Converts the text into a NUL-terminated heap buffer owned by the page; an empty text gives
// null, so the dialog shows no such element.
const char16_t* store_text(DialogPage& page, std::string_view text) {
    if (text.empty()) return nullptr;
    const std::u16string wide = to_utf16(text);
    // The string's own terminating NUL is copied with it.
    auto buffer = std::make_unique_for_overwrite<char16_t[]>(wide.size() + 1);
    std::char_traits<char16_t>::copy(buffer.get(), wide.c_str(), wide.size() + 1);
    page.text_store.push_back(std::move(buffer));
    return page.text_store.back().get();
}

}  // namespace

int app_icon_side(std::uint32_t dpi) {
    const std::uint32_t effective = std::max<std::uint32_t>(dpi, 96);
    return static_cast<int>(effective * 32 / 96);
}

platform::DialogConfig to_dialog_config(platform::Platform& platform, DialogPage& page, void* callback_data) {
    platform::DialogConfig config{};
    config.size = kDialogConfigSize;
    config.parent = 0;

    const auto module = platform.module.own_handle();
    config.instance = module ? *module : 0;

    config.flags = kAllowDialogCancellation | page.flags;
    if (page.right_to_left) config.flags |= kRtlLayout;
    config.common_buttons = page.common_buttons;
    config.window_title = store_text(page, page.title);

    if (page.error_icon) {
        config.main_icon = kErrorIcon;
    } else if (module) {
        // Loaded anew for each configuration, at the size the system's DPI asks for.
        const int side = app_icon_side(platform.module.system_dpi());
        if (const auto icon = platform.module.load_app_icon(*module, side)) {
            config.main_icon = page.icons.emplace_back(platform.module, *icon).get();
            config.flags |= kUseHiconMain;
        }
    }

    config.main_instruction = store_text(page, page.main_instruction);
    config.content = store_text(page, page.content);

    const std::size_t count = page.custom_buttons.size();
    page.dialog_buttons.reset();
    if (count > 0) {
        page.dialog_buttons = std::make_unique<platform::DialogButton[]>(count);
        for (std::size_t i = 0; i < count; ++i) {
            page.dialog_buttons[i].id = page.custom_buttons[i].id;
            page.dialog_buttons[i].text = store_text(page, page.custom_buttons[i].text);
        }
    }
    config.button_count = static_cast<std::uint32_t>(count);
    config.buttons = page.dialog_buttons.get();
    config.default_button = 0;

    config.radio_button_count = 0;
    config.radio_buttons = nullptr;
    config.default_radio_button = 0;

    config.verification_text = page.verification_text ? store_text(page, *page.verification_text) : nullptr;
    config.expanded_information = store_text(page, page.expanded);
    config.expanded_control_text = nullptr;
    config.collapsed_control_text = nullptr;
    config.footer_icon = 0;
    config.footer = nullptr;

    config.callback = &on_dialog_notification;
    config.callback_data = callback_data;
    config.width = 0;
    return config;
}

platform::DialogConfig keep_page(platform::Platform& platform, std::vector<DialogPage>& pages, DialogPage&& page,
                                 void* callback_data) {
    pages.push_back(std::move(page));
    return to_dialog_config(platform, pages.back(), callback_data);
}

}  // namespace plinth
