// The installer package as the runtime reads it: container, manifest, then the payload.
#include <cstddef>
#include <cstdint>
#include <span>

#include "package/container.h"
#include "package/payload.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto package = plinth::read_package(std::span(data, size));
    if (package.ok()) {
        const auto app = plinth::inflate_payload(package->payload);
        (void)app.ok();
    }
    return 0;
}
