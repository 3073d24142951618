// Failures that are one of the installer's messages: the English text composed from the
// message's wording, the message and its values kept beside it for the pages (texts/text_lookup).
#pragma once

#include <initializer_list>
#include <string_view>

#include "common/result.h"
#include "common/text.h"
#include "platform/platform.h"
#include "texts/messages.h"
#include "texts/placeholders.h"

namespace plinth {

// The message with `values` in its English text's order. Out of line, like every fail(): the
// composition stays on the failure path rather than at each call site.
Status fail(Message message, std::initializer_list<std::string_view> values = {});

// "... {path}: {the system's text for code}": a file-system call on the path failed.
Status fail(platform::Platform& platform, Message message, const Path& path, platform::ErrorCode code);

// A failure's values, back as views into it; the missing ones empty.
PlaceholderValues failure_values(const Failure& failure);

}  // namespace plinth
