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

}  // namespace plinth
