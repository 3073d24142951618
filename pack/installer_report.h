// What `plinth-pack inspect` tells about an installer: its manifest, what it will write on the
// user's machine, and its payload sizes.
#pragma once

#include <string>

#include "byte_io.h"
#include "common/result.h"

namespace plinth::pack {

// The report, after inflating the payload to check it. A damaged package fails with the
// runtime's own message; a file that isn't a readable executable fails with the reason.
Result<std::string> describe_installer(ByteView installer);

}  // namespace plinth::pack
