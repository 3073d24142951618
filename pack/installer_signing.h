// Signing the installer as it is built: a command of the vendor's (osslsigncode, signtool) run
// on the complete file before it is put in place, and a check that what it made is the same
// installer with an Authenticode signature added, nothing else changed.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "byte_io.h"
#include "common/result.h"

namespace plinth::pack {

// How the system's shell quotes a path: sh on Linux, cmd on Windows.
enum class ShellQuoting { posix, cmd };

// The sign command with its placeholders replaced by quoted paths: {file} by `in` for a tool
// that signs in place, {in} and {out} by `in` and `out` for one that writes a new file. Refused:
// a command with neither form, {in} without {out} (or the reverse), {file} beside {in} or {out},
// and a path the shell can't be given quoted.
Result<std::string> expand_sign_command(std::string_view command, const std::string& in, const std::string& out,
                                        ShellQuoting quoting);

// Whether the command writes a new file ({out}) rather than signing in place ({file}).
bool sign_command_writes_new_file(std::string_view command);

// Why `signed_image` isn't `unsigned_image` with a signature added, or nothing when it is: the
// same bytes up to where the installer ended, the PE checksum and the certificate directory
// entry aside; zeros to the next 8-byte boundary; then an Authenticode certificate table (PKCS #7
// signed data) that runs to the end of the file.
std::optional<std::string> signature_added_problem(ByteView unsigned_image, ByteView signed_image);

// Runs the sign command on the complete installer at `file` and checks its result; on success
// `file` holds the signed installer. Every file the step made beside `file` is removed.
Status sign_installer_file(const std::filesystem::path& file, const std::string& command);

}  // namespace plinth::pack
