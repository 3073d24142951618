#include "platform/win32/com_error.h"

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace plinth::platform::win32 {

void clear_com_error_info() { SetErrorInfo(0, nullptr); }

ComError com_error(HResult code) {
    ComError error{code, {}};
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) return error;
    UniqueBstr description;
    if (SUCCEEDED(info->GetDescription(description.put())) && description)
        error.description = from_wide(description.get(), SysStringLen(description.get()));
    return error;
}

}  // namespace plinth::platform::win32
