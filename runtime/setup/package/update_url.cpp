#include "package/update_url.h"

#include "common/text.h"

namespace plinth {
namespace {

bool is_loopback(std::string_view host) {
    return host == "127.0.0.1" || host == "[::1]" || equal_ascii_case_blind(host, "localhost");
}

enum class Problem { none, empty, too_long, character, scheme, fragment, user, ipv6_open, ipv6_after, no_host, port, http };

// The parts as far as they were found, and what stopped it; the text is made only when asked for.
Problem split(std::string_view url, UrlParts& parts) {
    if (url.empty()) return Problem::empty;
    if (url.size() > kMaxUrlLength) return Problem::too_long;
    for (char c : url) {
        if (c <= 0x20 || c >= 0x7f) return Problem::character;
    }
    std::string_view rest;
    if (equal_ascii_case_blind(url.substr(0, 8), "https://")) {
        parts.scheme = "https";
        rest = url.substr(8);
    } else if (equal_ascii_case_blind(url.substr(0, 7), "http://")) {
        parts.scheme = "http";
        rest = url.substr(7);
    } else {
        return Problem::scheme;
    }
    if (url.find('#') != std::string_view::npos) return Problem::fragment;
    const std::size_t authority_end = rest.find_first_of("/?");
    const std::string_view authority = rest.substr(0, authority_end);
    if (authority_end != std::string_view::npos) parts.path = rest.substr(authority_end);
    if (authority.find('@') != std::string_view::npos) return Problem::user;
    std::string_view host = authority;
    bool has_port = false;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return Problem::ipv6_open;
        host = authority.substr(0, close + 1);
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty() && after.front() != ':') return Problem::ipv6_after;
        has_port = !after.empty();
        if (has_port) parts.port = after.substr(1);
        if (host.size() == 2) host = {};
    } else if (const std::size_t colon = authority.find(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        parts.port = authority.substr(colon + 1);
        has_port = true;
    }
    parts.host = host;
    if (host.empty()) return Problem::no_host;
    if (has_port) {
        const std::string_view port = parts.port;
        unsigned long value = 0;
        bool digits = !port.empty() && port.size() <= 5;
        for (char c : port) {
            if (c < '0' || c > '9') digits = false;
            value = value * 10 + static_cast<unsigned long>(c - '0');
        }
        if (!digits || value == 0 || value > 65535) return Problem::port;
    }
    if (parts.scheme == "http" && !is_loopback(host)) return Problem::http;
    return Problem::none;
}

}  // namespace

std::optional<std::string> update_url_problem(std::string_view url) {
    UrlParts parts;
    switch (split(url, parts)) {
        case Problem::none: return std::nullopt;
        case Problem::empty: return "is empty; write the https:// URL of the app's update feed";
        case Problem::too_long:
            return concat({"is ", decimal_text(url.size()), " characters long; it may be at most ",
                           decimal_text(kMaxUrlLength)});
        case Problem::character:
            return "has a space, control or non-ASCII character; percent-encode it (a space is %20)";
        case Problem::scheme: return "isn't an https:// URL; write one such as https://example.com/app/feed.json";
        case Problem::fragment: return "has a fragment (#...), which a download never sends; leave it out";
        case Problem::user:
            return "carries a user name or password (before an @), which every proxy and log would see; "
                   "leave it out and serve the feed without one";
        case Problem::ipv6_open: return "has an IPv6 host without its closing ]";
        case Problem::ipv6_after: return "has text after its IPv6 host";
        case Problem::no_host: return "has no host; write one such as https://example.com/app/feed.json";
        case Problem::port: return concat({"has the port \"", parts.port, "\"; a port is a number from 1 to 65535"});
        case Problem::http:
            return concat({"uses http:// to ", parts.host,
                           ", which anyone on the way could change; write https://, as http:// is allowed "
                           "only to 127.0.0.1, [::1] or localhost, for tests"});
    }
    return std::nullopt;
}

std::optional<UrlParts> split_update_url(std::string_view url) {
    UrlParts parts;
    if (split(url, parts) != Problem::none) return std::nullopt;
    return parts;
}

}  // namespace plinth
