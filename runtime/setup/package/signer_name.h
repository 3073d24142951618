// A signer's subject compared as an X.500 name: a set of attributes (type and value), not one
// text, so that the order of the attributes, the case of a value and insignificant spaces don't
// make the same signer a stranger.
//
// The text is a distinguished name as Windows writes it (CertNameToStrW with CERT_X500_NAME_STR:
// `CN=Example Ltd, O="Example, Inc.", C=GB`), or with a backslash before a character that
// would otherwise end the value (`CN=Example\, Inc.`).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plinth {

// The name's attributes in their order, each as "TYPE=VALUE" (a multi-valued RDN's parts count
// as attributes of their own): the type in capitals ("CN", "O", "ST", or a dotted OID that has
// no short name), the value with escapes and quotes undone, leading and trailing spaces dropped,
// each run of spaces within it made one, and its case folded. Nothing when the text isn't a
// name: an attribute without a type or "=", a type of other characters than letters, digits,
// '.' and '-', a quote left open or inside an unquoted value, a backslash at the end, or no
// attribute at all.
std::optional<std::vector<std::u16string>> parse_x500_name(std::string_view text);

// Whether two names are the same: the same attributes, whatever their order, the case of their
// values or their spaces. A text that isn't a name is the same only as the identical text.
bool same_x500_name(std::string_view a, std::string_view b);

// Whether an update signed by `signer` may replace a program signed by `own`: the same name,
// or one of the names the app's manifest also accepts.
bool accepted_signer(std::string_view signer, std::string_view own, const std::vector<std::string>& publishers);

}  // namespace plinth
