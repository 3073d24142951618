// Who signed an installer: the subject of the certificate its Authenticode signature names as
// the signer, read from the PKCS #7 signed data in the certificate table. Nothing is verified
// here (Windows does that on the user's machine); it is what the packer shows and compares.
#pragma once

#include <optional>
#include <string>

#include "byte_io.h"
#include "common/result.h"

namespace plinth::pack {

// The signer's subject, most specific part first: "CN=Example Ltd, O=Example Ltd, C=GB".
// Nothing when the image carries no signature; a failure naming what is wrong when its
// certificate table can't be read as an Authenticode signature.
Result<std::optional<std::string>> authenticode_signer(ByteView image);

}  // namespace plinth::pack
