#include "dialog/license_page.h"

#include <algorithm>
#include <string_view>

#include "dialog/pages.h"
#include "locations/install_folder.h"
#include "log/run_log.h"
#include "package/held_source.h"
#include "package/installer_file.h"

namespace plinth {
namespace {

// Whether the installed copy carries this licence; an installed copy that can't be read doesn't.
bool installed_copy_carries(platform::Platform& platform, const AppManifest& manifest, std::span<const std::uint8_t> text) {
    const auto folder = recorded_install_folder(platform, manifest);
    if (!folder) return false;
    auto held = platform.files.hold(join_path(*folder, u"uninstall.exe"));
    if (!held) return false;
    const auto size = (*held)->size();
    if (!size) return false;
    HeldSource source(**held, *size);
    return installer_resource_is(source, kLicenseResource, text);
}

}  // namespace

bool license_accepted(platform::Platform& platform, const SetupState& state) {
    const auto module = platform.module.own_handle();
    if (!module) return true;  // the package was read through it: this can't fail now
    const platform::PackageResource resource = platform.module.license_resource(*module);
    if (resource.state == platform::PackageResource::State::missing) return true;
    const auto text = resource.bytes.first(std::min(resource.bytes.size(), kMaxLicenseSize));
    if (installed_copy_carries(platform, state.manifest, text)) {
        platform.log->write("Licence", "the installed copy's, not shown again");
        return true;
    }
    const TextLookup& texts = state.texts;
    platform::AcceptWindow window;
    window.title = to_utf16(setup_title(state.manifest, texts));
    window.heading = to_utf16(texts.text(Message::license_heading, {visible_controls(state.manifest.name)}));
    window.text = to_utf16(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    window.accept = to_utf16(texts.text(Message::accept_button));
    window.cancel = to_utf16(texts.text(Message::cancel_button));
    window.right_to_left = texts.right_to_left();
    const bool accepted = platform.dialogs.accept_text(window);
    platform.log->write("Licence", accepted ? "accepted" : "declined");
    return accepted;
}

}  // namespace plinth
