// A failed COM call as the seam reports it.
#pragma once

#include "platform/platform.h"

namespace plinth::platform::win32 {

// Forgets error information left by earlier calls, so that a failure reports only its own.
void clear_com_error_info();

// The HRESULT with the description of the thread's error information, if the failed call left
// one (GetErrorInfo hands it over and clears it).
ComError com_error(HResult code);

}  // namespace plinth::platform::win32
