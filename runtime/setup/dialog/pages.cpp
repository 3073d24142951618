#include "dialog/pages.h"

#include <utility>

namespace plinth {
namespace {

// The app's name and versions as the pages show them: a hand-made package's control characters
// (a line break, an escape) visible rather than acted on.
std::string name_of(const AppManifest& manifest) { return visible_controls(manifest.name); }

}  // namespace

std::string setup_title(const AppManifest& manifest) { return name_of(manifest) + " Setup"; }

DialogPage install_page(const AppManifest& manifest, const std::optional<std::string>& installed_version,
                        const Path& install_folder) {
    const std::string name = name_of(manifest);
    const std::string version = visible_controls(manifest.version);
    std::string instruction;
    if (!installed_version) {
        instruction = "Install " + name + " " + version + "?";
    } else if (*installed_version == manifest.version) {
        // Byte for byte: "1.0" and "1.0.0" are different versions here, never ordered.
        instruction = "Install " + name + " " + version + " again?";
    } else {
        instruction = "Update " + name + " from " + visible_controls(*installed_version) + " to " + version + "?";
    }
    DialogPage page = make_page(setup_title(manifest), std::move(instruction),
                                "It's installed for you only, in " + path_text(install_folder) + ".");
    page.custom_buttons = {{kActionButton, "Install"}};
    page.common_buttons = kCommonButtonCancel;
    page.verification_text = "Add a shortcut to the desktop";
    return page;
}

DialogPage remove_page(const AppManifest& manifest) {
    DialogPage page = make_page(setup_title(manifest), "Remove " + name_of(manifest) + "?",
                                name_of(manifest) +
                                    " will be removed from this computer. The documents you made with it "
                                    "stay where they are.");
    page.custom_buttons = {{kActionButton, "Remove"}};
    page.common_buttons = kCommonButtonCancel;
    return page;
}

DialogPage installed_page(const AppManifest& manifest) {
    DialogPage page = make_page(setup_title(manifest), name_of(manifest) + " is installed",
                                "You'll find it in the Start menu.");
    page.custom_buttons = {{kOpenButton, "Open " + name_of(manifest)}};
    return page;
}

DialogPage removed_page(const AppManifest& manifest) {
    return make_page(setup_title(manifest), name_of(manifest) + " is removed", "");
}

DialogPage failure_page(const AppManifest& manifest, bool remove_mode, std::string failure_text) {
    DialogPage page = make_page(setup_title(manifest),
                                name_of(manifest) + " couldn't be " + (remove_mode ? "removed" : "installed"),
                                std::move(failure_text));
    page.error_icon = true;
    return page;
}

DialogPage damaged_installer_page(std::string failure_text) {
    DialogPage page = make_page("Setup", "This installer is damaged", std::move(failure_text));
    page.error_icon = true;
    return page;
}

}  // namespace plinth
