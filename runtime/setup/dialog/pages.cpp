#include "dialog/pages.h"

#include <utility>

namespace plinth {

std::string setup_title(const AppManifest& manifest) { return manifest.name + " Setup"; }

DialogPage install_page(const AppManifest& manifest, const std::optional<std::string>& installed_version,
                        const Path& install_folder) {
    std::string instruction;
    if (!installed_version) {
        instruction = "Install " + manifest.name + " " + manifest.version + "?";
    } else if (*installed_version == manifest.version) {
        // Byte for byte: "1.0" and "1.0.0" are different versions here, never ordered.
        instruction = "Install " + manifest.name + " " + manifest.version + " again?";
    } else {
        instruction = "Update " + manifest.name + " from " + *installed_version + " to " + manifest.version + "?";
    }
    DialogPage page = make_page(setup_title(manifest), std::move(instruction),
                                "It's installed for you only, in " + path_text(install_folder) + ".");
    page.custom_buttons = {{kActionButton, "Install"}};
    page.common_buttons = kCommonButtonCancel;
    page.verification_text = "Add a shortcut to the desktop";
    return page;
}

DialogPage remove_page(const AppManifest& manifest) {
    DialogPage page = make_page(setup_title(manifest), "Remove " + manifest.name + "?",
                                manifest.name +
                                    " will be removed from this computer. The documents you made with it "
                                    "stay where they are.");
    page.custom_buttons = {{kActionButton, "Remove"}};
    page.common_buttons = kCommonButtonCancel;
    return page;
}

DialogPage installed_page(const AppManifest& manifest) {
    DialogPage page = make_page(setup_title(manifest), manifest.name + " is installed",
                                "You'll find it in the Start menu.");
    page.custom_buttons = {{kOpenButton, "Open " + manifest.name}};
    return page;
}

DialogPage removed_page(const AppManifest& manifest) {
    return make_page(setup_title(manifest), manifest.name + " is removed", "");
}

DialogPage failure_page(const AppManifest& manifest, bool remove_mode, std::string failure_text) {
    DialogPage page = make_page(setup_title(manifest),
                                manifest.name + " couldn't be " + (remove_mode ? "removed" : "installed"),
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
