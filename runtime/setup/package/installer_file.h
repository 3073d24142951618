// The app manifest inside an installer file, read without running it: the package in its
// RCDATA 1, as the installer itself would read it when started.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "package/app_manifest.h"
#include "package/pe_file.h"

namespace plinth {

// The manifest of the installer's package, or nothing when the file isn't a PE file with a
// package whose container and manifest the installer would accept. Reads the headers, the
// resource directory and the package's first bytes (at most its header and a manifest of
// `kMaxManifestSize`), never the app inside.
std::optional<AppManifest> read_installer_manifest(PeSource& file);

// Whether the installer's RCDATA `id` holds exactly `bytes` (its licence, say). Reads the headers,
// the resource directory and that resource alone; a file that can't be read doesn't.
bool installer_resource_is(PeSource& file, std::uint32_t id, std::span<const std::uint8_t> bytes);

}  // namespace plinth
