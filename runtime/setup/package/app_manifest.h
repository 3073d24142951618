// The app manifest: what the installer knows about the app it carries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plinth {

// A file type the app opens.
struct DocumentType {
    std::string name;
    std::vector<std::string> extensions;  // without the leading dot, as written
    bool owned = false;
    std::optional<std::uint16_t> icon;  // icon resource number in the app's exe

    friend bool operator==(const DocumentType&, const DocumentType&) = default;
};

// The arguments the app's exe is started with after an install, after an update and before a
// removal; each list is the manifest's own, and only ever that.
struct AppHooks {
    std::optional<std::vector<std::string>> installed;
    std::optional<std::vector<std::string>> updated;
    std::optional<std::vector<std::string>> removing;
    // A removing hook that exits with 1 stops the removal.
    bool removing_may_refuse = false;

    friend bool operator==(const AppHooks&, const AppHooks&) = default;
};

// UTF-8 texts; name, id and exe are never empty once a manifest is accepted.
struct AppManifest {
    std::string name;
    std::string id;
    std::string version;
    std::string publisher;
    std::string exe;
    std::vector<DocumentType> documents;
    // "updates": {"feed": URL}; empty when the key is missing or its URL is unusable: the app
    // then has no updates.
    std::string update_feed;
    // "updates": {"publishers": [...]}: further signer subjects (X.500 names) the app accepts
    // for its updates, those that read as names; empty when missing.
    std::vector<std::string> update_publishers;
    // The Start-menu shortcut's System.AppUserModel.ID; empty when missing or unusable.
    std::string app_user_model_id;
    // The URL schemes the app opens, as written, joined by '|': the usable ones, each once, at
    // most 16 (one text rather than a list: the uninstall entry keeps them so too).
    std::string protocols;
    AppHooks hooks;
    // "allowFolderChoice": true: a fresh interactive install offers "Change folder...".
    bool allow_folder_choice = false;

    friend bool operator==(const AppManifest&, const AppManifest&) = default;
};

}  // namespace plinth
