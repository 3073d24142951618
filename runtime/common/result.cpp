#include "common/result.h"

namespace plinth {

// Out of line: every failure text of the updates is composed here rather than at its call site.
Unexpected<Failure> fail(std::initializer_list<std::string_view> parts) { return fail(concat(parts)); }

}  // namespace plinth
