// The app's licence file, as the build embeds it (RCDATA 5) for the installer's licence window.
#pragma once

#include <string>

#include "byte_io.h"
#include "common/result.h"

namespace plinth::pack {

// The text to embed, or why the file can't be the licence, with what to do instead: it must be
// UTF-8 of 1 to 65,536 bytes (dialog/license_page.h) whose only control characters are tabs and
// line feeds. A UTF-8 byte order mark at its start is dropped and each CR LF becomes a line feed,
// as editors on Windows save text so; a carriage return alone is refused.
Expected<std::string, std::string> license_text(ByteView file);

}  // namespace plinth::pack
