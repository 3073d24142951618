#include "updates/sentence.h"

namespace plinth {

std::string sentence(const char* pattern, std::initializer_list<std::string_view> values) {
    std::string text;
    const std::string_view* value = values.begin();
    for (; *pattern != '\0'; ++pattern) {
        if (*pattern == '%' && value != values.end()) {
            text += *value++;
        } else {
            text += *pattern;
        }
    }
    return text;
}

Status fail_with(const char* pattern, std::initializer_list<std::string_view> values) {
    return fail(sentence(pattern, values));
}

}  // namespace plinth
