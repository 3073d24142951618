// `plinth-pack winget`: the three manifests (version, installer, defaultLocale; schema 1.10.0)
// that submit an installer to the Windows Package Manager, made from the installer's own
// package so that what winget expects is what the installer does.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "package/app_manifest.h"

namespace plinth::pack {

// What the package doesn't say: where the installer is downloaded from, and the texts that
// winget requires of every package.
struct WingetRequest {
    std::string package_id;         // "Publisher.App"
    std::string url;                // https://... of the installer
    std::string license;            // "MIT", "Proprietary", ...
    std::string short_description;  // one line
    // Optional: the publisher's home page, the release notes' page (https://...), search terms.
    std::string publisher_url;
    std::string release_notes_url;
    std::vector<std::string> tags;
};

struct WingetFile {
    std::string name;  // "Publisher.App.installer.yaml"
    std::string text;  // YAML, UTF-8
};

// The three files, or every problem that keeps them from passing winget's schemas, each a
// sentence that names the value and the rule. `sha256_hex` is the installer's digest.
Expected<std::vector<WingetFile>, std::vector<std::string>> winget_manifests(const AppManifest& manifest,
                                                                              std::string_view sha256_hex,
                                                                              const WingetRequest& request);

}  // namespace plinth::pack
