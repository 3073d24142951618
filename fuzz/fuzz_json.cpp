// Our strict JSON reader against the RapidJSON-based reader it replaced: the same verdict, the same
// value tree, the same failure text. One difference is by design: RapidJSON refuses a number
// beyond a double's range, which the old reader hid by rewriting every such number that is one
// number; where other number characters follow it at once ("1e400-1", "1e999.5"), RapidJSON still
// refused it, with "not a JSON value" at the number. Ours reads the number as any other and names
// the fault after it: there both must refuse, ours at or after the number.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "json_oracle.h"
#include "package/strict_json.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

bool same(const plinth::JsonValue& a, const plinth::JsonValue& b) {
    if (a.type != b.type || a.text != b.text || a.boolean != b.boolean) return false;
    if (a.type == plinth::JsonType::number &&
        (a.number_kind != b.number_kind ||
         (a.number_kind != plinth::JsonNumberKind::fractional && a.integer != b.integer))) {
        return false;
    }
    if (a.elements.size() != b.elements.size() || a.members.size() != b.members.size()) return false;
    for (std::size_t i = 0; i < a.elements.size(); ++i) {
        if (!same(a.elements[i], b.elements[i])) return false;
    }
    for (std::size_t i = 0; i < a.members.size(); ++i) {
        if (a.members[i].key != b.members[i].key || !same(a.members[i].value, b.members[i].value)) return false;
    }
    return true;
}

// The line and column a failure text ends with.
std::pair<unsigned long, unsigned long> position(const std::string& failure) {
    const std::size_t at = failure.rfind(" at line ");
    check(at != std::string::npos);
    unsigned long line = 0, column = 0;
    check(std::sscanf(failure.c_str() + at, " at line %lu, column %lu", &line, &column) == 2);
    return {line, column};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    bool beyond_range = false;
    const auto expected = plinth::parse_json_with_rapidjson(text, &beyond_range);
    const auto ours = plinth::parse_strict_json(text);
    if (beyond_range) {
        check(!ours.ok());
        check(position(ours.error()) >= position(expected.error()));
        return 0;
    }
    check(ours.ok() == expected.ok());
    if (ours.ok()) {
        check(same(*ours, *expected));
    } else {
        check(ours.error() == expected.error());
    }
    return 0;
}
