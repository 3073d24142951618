#include "failures/message_failure.h"

#include <string>

#include "system_error/error_text.h"

namespace plinth {

Status fail(Message message, std::initializer_list<std::string_view> values) {
    Failure failure;
    failure.message = message;
    // Shown controls, as fail() does for a whole text: the same bytes, value by value.
    for (std::string_view value : values) {
        failure.values += visible_controls(value);
        failure.values.push_back('\0');
    }
    const PlaceholderValues filled = failure_values(failure);
    failure.text = fill_placeholders(english_text(message), english_text(message), filled);
    return unexpected(std::move(failure));
}

Status fail(platform::Platform& platform, Message message, const Path& path, platform::ErrorCode code) {
    return fail(message, {path_text(path), os_error_text(platform.system_text, code)});
}

PlaceholderValues failure_values(const Failure& failure) {
    PlaceholderValues values{};
    std::string_view rest = failure.values;
    for (std::size_t i = 0; i < values.size() && !rest.empty(); ++i) {
        const std::size_t end = rest.find('\0');
        values[i] = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    return values;
}

}  // namespace plinth
