#include "dialog/folder_choice.h"

#include <utility>

#include "dialog/dialog_config.h"
#include "dialog/pages.h"
#include "locations/chosen_folder.h"
#include "locations/folder_name.h"
#include "locations/install_folder.h"
#include "log/run_log.h"
#include "registry/uninstall_entry.h"

namespace plinth {
namespace {

DialogPage current_install_page(platform::Platform& platform, const SetupState& state) {
    DialogPage page = install_page(state.manifest, state.recorded->version,
                                   install_folder(platform, state.manifest, nullptr, state.chosen_folder), state.texts);
    // An installed version keeps its folder: only a fresh install may choose.
    if (state.manifest.allow_folder_choice && !state.recorded->version) {
        add_button(page, kChangeFolderButton, state.texts.text(Message::change_folder_button));
    }
    return page;
}

}  // namespace

DialogPage first_install_page(platform::Platform& platform, SetupState& state) {
    state.recorded = recorded_install(platform, state.manifest.id);
    return current_install_page(platform, state);
}

void change_folder(platform::WindowHandle window, SetupState& state) {
    platform::Platform& platform = *state.platform;
    const auto picked = platform.dialogs.pick_folder(
        window, install_folder(platform, state.manifest, nullptr, state.chosen_folder));
    if (!picked) return;
    Result<Path> checked = check_chosen_folder(platform, state.manifest, *picked);
    if (!checked) {
        auto inside = check_chosen_folder(platform, state.manifest, join_path(*picked, to_utf16(folder_name(state.manifest.name))));
        if (inside) checked = std::move(inside);
    }
    std::string refusal;
    if (checked) {
        platform.log->write("Folder chosen in the dialog:", *checked);
        state.chosen_folder = std::move(*checked);
    } else {
        platform.log->write("Folder refused:", checked.error().text);
        refusal = failure_content(checked.error(), state.texts);
    }
    DialogPage page = current_install_page(platform, state);
    if (!refusal.empty()) page.content = refusal + "\n\n" + page.content;
    if (state.desktop_shortcut) page.flags |= kVerificationFlagChecked;
    platform.dialogs.navigate(window, keep_page(platform, state.pages, std::move(page), &state));
}

}  // namespace plinth
