#include "registry/document_types.h"

#include "log/run_log.h"
#include "package/app_files.h"
#include "registry/created_keys.h"
#include "registry/registry_access.h"

namespace plinth {
namespace {

constexpr std::int32_t kAssociationsChanged = 0x08000000;  // SHCNE_ASSOCCHANGED
constexpr std::uint32_t kIdList = 0;                       // SHCNF_IDLIST

constexpr char kClasses[] = "Software\\Classes\\";

Status write_default_value(platform::Platform& platform, const std::string& key_path,
                           std::string_view text) {
    return write_key_value(platform, key_path, "", text);
}

std::string icon_suffix(const DocumentType& type) {
    // A negative number names an icon resource; ",0" is the first icon of the file.
    return type.icon ? ",-" + decimal_text(*type.icon) : ",0";
}

Status write_type(platform::Platform& platform, std::string_view app_id, const DocumentType& type,
                  const std::string& app) {
    const std::string id = prog_id(app_id, type);
    const std::string id_path = kClasses + id;
    const std::string icon = app + icon_suffix(type);
    const std::string command = "\"" + app + "\" \"%1\"";
    const struct {
        const char* subkey;
        std::string_view text;
    } defaults[] = {
        {"", type.name},
        {"\\DefaultIcon", icon},
        {"\\shell\\open\\command", command},
    };
    for (const auto& value : defaults) {
        if (auto done = write_default_value(platform, id_path + value.subkey, value.text); !done) return done;
    }
    for (const std::string& extension : type.extensions) {
        const std::string extension_path = std::string(kClasses) + "." + extension;
        if (type.owned) {
            if (auto done = write_default_value(platform, extension_path, id); !done) return done;
        }
        if (auto done = write_key_value(platform, extension_path + "\\OpenWithProgids", id, ""); !done) return done;
    }
    return success();
}

}  // namespace

Status write_key_value(platform::Platform& platform, const std::string& key_path, std::string_view value_name,
                       std::string_view text) {
    auto key = create_key(platform, key_path);
    if (!key) return pass_on(std::move(key.error()));
    if (auto done = write_text_value(**key, value_name, text); !done) return done;
    platform.log->write("Wrote the registry value", registry_value_path(key_path, value_name));
    return success();
}

CommandOwner open_command_owner(platform::Platform& platform, const std::string& key_path,
                                const std::u16string& folded_app) {
    const auto command = read_text_value(platform, key_path + "\\shell\\open\\command", "");
    if (!command) return CommandOwner::none;
    // The program: the command's first word, or what its leading quotes enclose.
    std::string_view program = *command;
    if (program.starts_with('"')) {
        program.remove_prefix(1);
        program = program.substr(0, program.find('"'));
    } else {
        program = program.substr(0, program.find(' '));
    }
    return fold_case(program) == folded_app ? CommandOwner::app : CommandOwner::other;
}

std::string prog_id(std::string_view app_id, const DocumentType& type) {
    std::string id(app_id);
    id += '.';
    id += type.extensions.empty() ? std::string_view("document") : std::string_view(type.extensions.front());
    return id;
}

Status write_associations(platform::Platform& platform, std::string_view app_id,
                          const std::vector<DocumentType>& types, const Path& app_path) {
    if (auto remembered = remember_created_keys(platform, app_id, types); !remembered) return remembered;
    const std::string app = path_text(app_path);
    for (const DocumentType& type : types) {
        if (auto done = write_type(platform, app_id, type, app); !done) return done;
    }
    if (!types.empty()) notify_associations_changed(platform);
    return success();
}

void notify_associations_changed(platform::Platform& platform) {
    platform.shell.change_notify(kAssociationsChanged, kIdList);
}

}  // namespace plinth
