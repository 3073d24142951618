// The app's own steps around the installer's: its exe, started with the arguments the manifest
// gives for the moment (after an install, after an update, before a removal), so that it can
// register what is its own, carry its settings forward, or clear its data away.
//
// A hook never fails the run: one that can't start, fails or hangs is logged and the run goes
// on. Only the removal may listen to its answer (see removal_steps).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "common/text.h"
#include "package/app_manifest.h"
#include "platform/platform.h"

namespace plinth {

enum class HookKind { installed, updated, removing };

// How long a hook may run before it is ended and the run goes on.
inline constexpr std::uint32_t kHookTimeoutMs = 30'000;

// When the manifest has a hook of `kind` and `app_path` is a file: starts it, hidden, from
// `folder`, with the command line "<app_path>" <the hook's arguments> --plinth-version=<version>
// and, when `from` is given, --plinth-from=<from>; waits at most kHookTimeoutMs, ending it then.
// Logs what became of it and how long it took. The exit code when it ran to its end; nothing when
// there is no hook, or it couldn't start, or it was ended.
std::optional<std::uint32_t> run_app_hook(platform::Platform& platform, const AppManifest& manifest, const Path& folder,
                                          const Path& app_path, HookKind kind,
                                          std::optional<std::string_view> from = std::nullopt);

}  // namespace plinth
