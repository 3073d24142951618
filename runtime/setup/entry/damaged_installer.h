// The page shown when the installer's own package can't be used (interactive runs only): title
// "Setup", main instruction "This installer is damaged", the failure text as its content. Returns
// once the user has closed it; a dialog that can't be shown is ignored.
#pragma once

#include <string>

#include "common/result.h"
#include "platform/platform.h"
#include "texts/text_lookup.h"

namespace plinth {

void show_damaged_installer_page(platform::Platform& platform, const Failure& failure,
                                 const TextLookup& texts = TextLookup());

}  // namespace plinth
