#include "package/update_url.h"

#include "common/text.h"

namespace plinth {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::string lower_text(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lower(c);
    return out;
}

bool starts_with_lower(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && lower_text(text.substr(0, prefix.size())) == prefix;
}

bool is_loopback(std::string_view host) {
    const std::string name = lower_text(host);
    return name == "127.0.0.1" || name == "[::1]" || name == "localhost";
}

struct Split {
    std::optional<UrlParts> parts;
    std::string problem;
};

Split split(std::string_view url) {
    if (url.empty()) return {std::nullopt, "is empty; write the https:// URL of the app's update feed"};
    if (url.size() > kMaxUrlLength) {
        return {std::nullopt, concat({"is ", decimal_text(url.size()), " characters long; it may be at most ",
                                      decimal_text(kMaxUrlLength)})};
    }
    for (char c : url) {
        if (c <= 0x20 || c >= 0x7f) {
            return {std::nullopt, "has a space, control or non-ASCII character; percent-encode it (a space is %20)"};
        }
    }
    UrlParts parts;
    std::string_view rest;
    if (starts_with_lower(url, "https://")) {
        parts.scheme = "https";
        rest = url.substr(8);
    } else if (starts_with_lower(url, "http://")) {
        parts.scheme = "http";
        rest = url.substr(7);
    } else {
        return {std::nullopt, "isn't an https:// URL; write one such as https://example.com/app/feed.json"};
    }
    if (url.find('#') != std::string_view::npos) {
        return {std::nullopt, "has a fragment (#...), which a download never sends; leave it out"};
    }
    const std::size_t authority_end = rest.find_first_of("/?");
    const std::string_view authority = rest.substr(0, authority_end);
    parts.path = authority_end == std::string_view::npos ? "/" : std::string(rest.substr(authority_end));
    if (parts.path.front() == '?') parts.path.insert(0, "/");
    if (authority.find('@') != std::string_view::npos) {
        return {std::nullopt, "carries a user name or password (before an @), which every proxy and log would see; "
                              "leave it out and serve the feed without one"};
    }
    std::string_view host = authority;
    std::string_view port;
    bool has_port = false;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return {std::nullopt, "has an IPv6 host without its closing ]"};
        host = authority.substr(0, close + 1);
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty() && after.front() != ':') return {std::nullopt, "has text after its IPv6 host"};
        has_port = !after.empty();
        if (has_port) port = after.substr(1);
        if (host.size() == 2) host = {};
    } else if (const std::size_t colon = authority.find(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
        has_port = true;
    }
    if (host.empty()) return {std::nullopt, "has no host; write one such as https://example.com/app/feed.json"};
    if (has_port) {
        unsigned long value = 0;
        bool digits = !port.empty() && port.size() <= 5;
        for (char c : port) {
            if (c < '0' || c > '9') digits = false;
        }
        if (digits) {
            for (char c : port) value = value * 10 + static_cast<unsigned long>(c - '0');
        }
        if (!digits || value == 0 || value > 65535) {
            return {std::nullopt, concat({"has the port \"", port, "\"; a port is a number from 1 to 65535"})};
        }
    }
    if (parts.scheme == "http" && !is_loopback(host)) {
        return {std::nullopt, concat({"uses http:// to ", host,
                                      ", which anyone on the way could change; write https://, as http:// is allowed "
                                      "only to 127.0.0.1, [::1] or localhost, for tests"})};
    }
    parts.host = std::string(host);
    parts.port = std::string(port);
    return {std::move(parts), {}};
}

}  // namespace

std::optional<std::string> update_url_problem(std::string_view url) {
    Split result = split(url);
    if (result.parts) return std::nullopt;
    return std::move(result.problem);
}

std::optional<UrlParts> split_update_url(std::string_view url) { return split(url).parts; }

}  // namespace plinth
