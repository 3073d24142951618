// What `plinth-pack inspect` tells about an installer: its manifest, what it will write on the
// user's machine, and its payload sizes.
#pragma once

#include <string>

#include "byte_io.h"
#include "common/result.h"
#include "package/app_manifest.h"

namespace plinth::pack {

// The report, after inflating the payload to check it. A damaged package fails with the
// runtime's own message; a file that isn't a readable executable fails with the reason.
Result<std::string> describe_installer(ByteView installer);

// The manifest of the package an installer carries, read as the runtime reads it.
Result<AppManifest> installer_manifest(ByteView installer);

// The notices the runtime carries for the libraries linked into it (RCDATA "NOTICES"), from an
// installer or the bare stub. An image without them fails with a sentence that says so.
Result<std::string> installer_notices(ByteView installer);

}  // namespace plinth::pack
