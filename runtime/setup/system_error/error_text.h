// How a failed system call is rendered inside a failure text.
#pragma once

#include <string>

#include "platform/platform.h"

namespace plinth {

// A Win32 error code as an HRESULT (HRESULT_FROM_WIN32).
platform::HResult hresult_from_win32(platform::ErrorCode code);

// The OS error text of a file-system failure: the system's message for the code, trailing white
// space removed, then " (os error N)".
std::string os_error_text(platform::SystemText& system_text, platform::ErrorCode code);

// The same in English whatever the user's language, for the log: the system's English (US)
// message, or where it has none the one above.
std::string english_os_error_text(platform::SystemText& system_text, platform::ErrorCode code);

// The COM error text: the system's message for the HRESULT, trailing white space removed, no
// number added.
std::string com_error_text(platform::SystemText& system_text, platform::HResult result);

// The same, preferring the description that the failing call left in the thread's error
// information.
std::string com_error_text(platform::SystemText& system_text, const platform::ComError& error);

}  // namespace plinth
