// Per-user file type associations: a ProgID for each document type, and its extensions' open-with
// lists (and defaults, when the type is owned).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "common/text.h"
#include "package/app_manifest.h"
#include "platform/platform.h"

namespace plinth {

// The id, a full stop, then the type's first extension, or "document" when it has none.
std::string prog_id(std::string_view app_id, const DocumentType& type);

// Writes every type in order, then tells the shell once (only when there is at least one type).
// The first failure ends it with every key closed and no notification.
Status write_associations(platform::Platform& platform, std::string_view app_id,
                          const std::vector<DocumentType>& types, const Path& app_path);

// Creates the key (or opens it), writes the REG_SZ value and closes the key again.
Status write_key_value(platform::Platform& platform, const std::string& key_path, std::string_view value_name,
                       std::string_view text);

// Whose a class key is, by the program its open command starts: a key whose command no longer
// starts this install's app (its path folded, `fold_case`) belongs to another program now.
enum class CommandOwner { none, app, other };
CommandOwner open_command_owner(platform::Platform& platform, const std::string& key_path,
                                const std::u16string& folded_app);

// SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, NULL, NULL).
void notify_associations_changed(platform::Platform& platform);

}  // namespace plinth
