#include "state/dialog_page.h"

#include <utility>

namespace plinth {

PageIcon::~PageIcon() {
    if (module_ && handle_) module_->destroy_icon(handle_);
}

DialogPage make_page(std::string title, std::string main_instruction, std::string content) {
    DialogPage page;
    page.title = std::move(title);
    page.main_instruction = std::move(main_instruction);
    page.content = std::move(content);
    return page;
}

void add_button(DialogPage& page, std::int32_t id, std::string text) {
    page.custom_buttons.push_back(DialogPageButton{id, std::move(text)});
}

}  // namespace plinth
