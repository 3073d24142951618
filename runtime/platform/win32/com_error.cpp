#include "platform/win32/com_error.h"

#include "platform/win32/system_library.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace plinth::platform::win32 {

void clear_com_error_info() {
    if (auto set_error_info = ole32().function<decltype(SetErrorInfo)>("SetErrorInfo"))
        (*set_error_info)(0, nullptr);
}

ComError com_error(HResult code) {
    ComError error{code, {}};
    auto get_error_info = ole32().function<decltype(GetErrorInfo)>("GetErrorInfo");
    if (!get_error_info) return error;
    ComPtr<IErrorInfo> info;
    if ((*get_error_info)(0, info.put()) != S_OK || !info) return error;
    UniqueBstr description;
    if (FAILED(info->GetDescription(description.put())) || !description) return error;
    auto length = oleaut32().function<decltype(SysStringLen)>("SysStringLen");
    if (length) error.description = from_wide(description.get(), (*length)(description.get()));
    return error;
}

}  // namespace plinth::platform::win32
