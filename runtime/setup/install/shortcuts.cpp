#include "install/shortcuts.h"

#include "failures/message_failure.h"
#include "system_error/error_text.h"
#include "locations/shortcut_list.h"
#include "log/run_log.h"

namespace plinth {

Status create_one_shortcut(platform::Platform& platform, const Path& shortcut_path, const Path& app_path,
                           std::string_view app_name, std::string_view app_user_model_id) {
    platform::ShortcutSpec wanted;
    wanted.shortcut_path = shortcut_path;
    wanted.target_path = app_path;
    wanted.working_directory = parent_folder(app_path);
    wanted.description = to_utf16(app_name);
    wanted.app_user_model_id = to_utf16(app_user_model_id);
    const auto saved = platform.shell.create_shortcut(wanted);
    if (!saved) {
        return fail(Message::cant_add_shortcut, {path_text(shortcut_path), com_error_text(platform.system_text, saved.error())});
    }
    platform.log->write("Created the shortcut", shortcut_path);
    return success();
}

Status create_shortcuts(platform::Platform& platform, const Path& app_path, std::string_view app_name,
                        bool desktop_shortcut, std::string_view app_user_model_id) {
    const std::vector<Path> shortcuts = shortcut_list(platform, app_name);
    for (std::size_t i = 0; i < shortcuts.size(); ++i) {
        if (i > 0 && !desktop_shortcut) break;
        if (auto created = create_one_shortcut(platform, shortcuts[i], app_path, app_name, app_user_model_id); !created) return created;
    }
    return success();
}

}  // namespace plinth
