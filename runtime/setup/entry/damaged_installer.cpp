#include "entry/damaged_installer.h"

#include "dialog/dialog_config.h"
#include "dialog/pages.h"

namespace plinth {

void show_damaged_installer_page(platform::Platform& platform, const Failure& failure,
                                 const TextLookup& texts) {
    // Lives until the dialog returns: the configuration points into it.
    DialogPage page = damaged_installer_page(failure, texts);
    const platform::DialogConfig config = to_dialog_config(platform, page, nullptr);
    // Nothing to do if the dialog can't be shown: the caller still reports on standard error.
    (void)platform.dialogs.show(config, nullptr);
}

}  // namespace plinth
