// The app manifest on its own: the runtime's rule and the packer's explained rule must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "package/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view json(reinterpret_cast<const char*>(data), size);
    const auto runtime = plinth::parse_app_manifest(json);
    const auto packer = plinth::check_app_manifest(json);
    if (runtime.ok() != packer.ok()) std::abort();
    if (runtime.ok() && !(*runtime == *packer)) std::abort();
    return 0;
}
