#include "common/result.h"

namespace plinth {

Status fail(std::string text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20) {
            text = visible_controls(text);
            break;
        }
    }
    return unexpected(Failure{std::move(text)});
}

Status fail(const char* text) { return fail(std::string(text)); }

// Out of line: every failure text of the updates is composed here rather than at its call site.
Status fail(std::initializer_list<std::string_view> parts) { return fail(concat(parts)); }

Status pass_on(Failure&& failure) { return unexpected(std::move(failure)); }

}  // namespace plinth
