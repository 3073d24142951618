// The app manifest inside the installer package: JSON text into an `AppManifest`.
//
// One decision for the runtime and the packer: a manifest that `check_app_manifest` accepts is
// exactly one that `parse_app_manifest` accepts, with the same fields.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/result.h"
#include "package/app_manifest.h"
#include "texts/messages.h"

namespace plinth {

inline constexpr std::string_view kUnreadablePackageText = english_text(Message::unreadable_package);
// The largest manifest, in bytes. A real one is a few KiB; the bound keeps what its parse takes
// small (each JSON value is about a hundred bytes in memory, and "[0,0,0,..." has one every two).
inline constexpr std::size_t kMaxManifestSize = 1024 * 1024;
// The most arguments a hook may have.
inline constexpr std::size_t kMaxHookArguments = 16;

// The manifest, or the reason it's refused, written for the app's developer: a text of more than
// `kMaxManifestSize` bytes (not parsed at all), the JSON error with its line and column, which of
// "name", "id" and "exe" is missing, empty or not a string, or why "exe" can't be the installed
// app's file name (see `app_exe_problem`).
//
// Keys are matched exactly; unknown keys are ignored; a key of another JSON type than expected
// counts as missing. Each element of "documents" becomes one document type, whatever its type.
// "updates" gives the feed only when it is an object whose "feed" is a URL that
// `update_url_problem` accepts; its "publishers" keeps the strings that `parse_x500_name` reads. "icon" is kept only when it is a non-negative integer (its low 16 bits); "owned" only when it is
// true or false; "extensions" keeps its string elements, empty ones included. "appUserModelId" is
// kept only when `usable_app_user_model_id` takes it; "protocols" keeps the strings that
// `usable_url_scheme` takes, each scheme once whatever its case, the first 16. Each of "hooks"'
// "installed", "updated" and "removing" is kept only when it is an array of at most 16 strings
// without a NUL; "removingMayRefuse" only when it is true or false.
Expected<AppManifest, std::string> check_app_manifest(std::string_view json);

// "The manifest is {size} bytes; it may be at most 1048576 bytes (1 MiB)."
std::string manifest_size_problem(std::size_t size);

// The same decision as `check_app_manifest`, with the user's failure text
// "Its contents can't be read." in place of the reason.
Result<AppManifest> parse_app_manifest(std::string_view json);

// The same decision again, read into `manifest` (a new one): false when it is refused, and
// `manifest` is then half filled.
bool read_app_manifest(std::string_view json, AppManifest& manifest);

}  // namespace plinth
