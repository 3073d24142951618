// Where updates come from: the rule every feed and installer URL meets, for the manifest's
// "updates" key, the packer's gate and the runtime's downloads alike.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace plinth {

inline constexpr std::size_t kMaxUrlLength = 2048;

// An absolute URL in its parts, views into the URL it was split from (the scheme into static
// text); `path` keeps the query ("/app/feed.json?x=1") and is empty when the URL has none.
struct UrlParts {
    std::string_view scheme;  // "https" or "http", in lower case
    std::string_view host;    // as written, an IPv6 address with its brackets
    std::string_view port;    // the digits after the colon, or empty
    std::string_view path;
};

// Why the URL can't be one that updates come from, as a sentence for the app's developer ending
// with what to write instead, or nothing when it can: printable ASCII of at most `kMaxUrlLength`
// characters, "https://" (any case) and a host, or "http://" to a loopback host only (127.0.0.1,
// [::1] or localhost, for tests), a port of 1 to 65535 when one is given, no user name or
// password, no fragment.
std::optional<std::string> update_url_problem(std::string_view url);

// The URL's parts when `update_url_problem` has nothing against it.
std::optional<UrlParts> split_update_url(std::string_view url);

}  // namespace plinth
