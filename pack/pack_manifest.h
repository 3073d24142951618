// The packer's check of an app manifest: the runtime's own rules, and on top of them the strict
// ones. The runtime is lenient (an unknown key is ignored, a value of the wrong type counts as
// missing) so that packages already made and newer manifests keep loading; the packer is where
// the developer is, so it refuses every mistake it can see, each with what to write instead.
// docs/app-manifest.schema.json states the same rules for editors; a test keeps the two agreed.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "json_positions.h"
#include "package/app_manifest.h"

namespace plinth::pack {

enum class Severity { error, warning };

// One finding, as a sentence for the app's developer; `at` is the line and column of the key or
// value concerned, when there is one (a missing key has none).
struct ManifestProblem {
    Severity severity = Severity::error;
    std::optional<TextPosition> at;
    std::string text;
};

struct ManifestReview {
    std::optional<AppManifest> manifest;  // set when no problem is an error
    std::vector<ManifestProblem> problems;  // in the order of the text; unplaced ones first

    bool refused() const;
};

// What the review knows of the app's exe beyond the manifest.
struct AppFacts {
    // The integer ids of the exe's icon groups, when its resources could be read.
    std::optional<std::set<std::uint16_t>> icon_groups;
};

// Every problem of the manifest in one pass. Errors: what `check_app_manifest` refuses, unknown
// keys (with the nearest known one), wrong types, a key given twice, unusable extensions (a
// leading dot, empty, characters Windows forbids, the same extension twice, an owned extension
// that Windows runs as a program), an "exe" not ending in ".exe", an "id" of only white space or
// with a backslash or NUL, an "appUserModelId" Windows refuses, a "protocols" entry that isn't a
// URL scheme, is reserved, named like a well-known class key, repeated, or beyond the 16th. Warnings: a version whose numbers can't become the installer's file
// version, a document type without a name, an "icon" the app has no icon group for, an
// "appUserModelId" not of the form Company.Product[.SubProduct[.Version]].
ManifestReview review_manifest(std::string_view json, const AppFacts& app = {});

// The manifest, or the first error of `review_manifest` (warnings don't refuse).
Expected<AppManifest, std::string> check_manifest_for_packing(std::string_view json);

// The extensions that must not be owned: Windows runs such files as programs or scripts, in
// lower case and without the dot.
const std::vector<std::string_view>& program_extensions();

// The URL schemes that must not be registered: Windows or the browsers handle them. In lower
// case; one ending in '*' is a prefix ("ms-*").
const std::vector<std::string_view>& reserved_url_schemes();

// Whether the scheme, in any case, is one of `reserved_url_schemes`.
bool reserved_url_scheme(std::string_view scheme);

// Well-known class keys of HKEY_CLASSES_ROOT that a scheme must not be named like, in lower case.
const std::vector<std::string_view>& class_key_names();

// Whether the scheme, in any case, is one of `class_key_names`, ends with "file" (exefile,
// lnkfile) or starts with "appx" (packaged apps' classes).
bool class_key_scheme(std::string_view scheme);

// ProgIDs that common Windows programs register, as "ProgID|program": the packer warns when an
// app's would be one of them.
const std::vector<std::string_view>& common_prog_ids();

}  // namespace plinth::pack
