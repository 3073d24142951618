#include "updates/release_url.h"

#include "package/update_url.h"

namespace plinth {
namespace {

bool has_scheme(std::string_view reference) {
    const std::size_t colon = reference.find(':');
    const std::size_t slash = reference.find_first_of("/?#");
    return colon != std::string_view::npos && colon > 0 && (slash == std::string_view::npos || colon < slash);
}

// The path with its "." and ".." segments resolved; the query is left as it is.
std::string without_dot_segments(std::string_view path_and_query) {
    const std::size_t query = path_and_query.find('?');
    const std::string_view path = path_and_query.substr(0, query);
    // Built as "/segment" pieces, so ".." drops back to the last slash.
    std::string result;
    std::size_t start = 1;  // past the leading slash
    bool ends_in_folder = false;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view segment = path.substr(start, end - start);
        ends_in_folder = segment == "." || segment == "..";
        if (segment == "..") {
            if (!result.empty()) result.erase(result.rfind('/'));
        } else if (segment != ".") {
            result += '/';
            result += segment;
        }
        start = end + 1;
    }
    if (result.empty() || ends_in_folder) result += '/';
    if (query != std::string_view::npos) result += path_and_query.substr(query);
    return result;
}

}  // namespace

Result<std::string> resolve_installer_url(std::string_view feed_url, std::string_view reference) {
    const auto feed = split_update_url(feed_url);
    if (!feed) return fail("The update feed's URL can't be used.");
    const std::string origin = concat({feed->scheme, "://", feed->host, feed->port.empty() ? "" : ":", feed->port});
    // A URL without a path is the folder "/"; a query alone is on that folder.
    const std::string_view feed_path = feed->path.empty() || feed->path.front() == '?' ? "/" : feed->path;
    std::string url;
    if (has_scheme(reference)) {
        url = std::string(reference);
    } else if (reference.starts_with("//")) {
        url = concat({feed->scheme, ":", reference});
    } else if (reference.starts_with("/")) {
        url = concat({origin, without_dot_segments(reference)});
    } else {
        std::string_view base = feed_path.substr(0, feed_path.find('?'));
        if (reference.starts_with("?")) {
            url = concat({origin, base, reference});
        } else {
            base = base.substr(0, base.rfind('/') + 1);
            url = concat({origin, without_dot_segments(concat({base, reference}))});
        }
    }
    // The URL's own problem reads "it ...", as the redirect's already does.
    auto problem = update_url_problem(url);
    const std::string_view it = problem ? "it " : "";
    if (!problem) problem = redirect_problem(feed_url, url);
    if (problem) return fail({"The update feed's installer URL \"", url, "\" can't be used: ", it, *problem, "."});
    return url;
}

std::optional<std::string> redirect_problem(std::string_view requested, std::string_view final) {
    const auto from = split_update_url(requested);
    const auto to = split_update_url(final);
    if (!to) return concat({"it leads to \"", final, "\", which isn't a URL updates may come from"});
    if (from && from->scheme == "https" && to->scheme == "http") {
        return concat({"it leads from https to plain http (\"", final, "\"), which anyone on the way could change"});
    }
    return std::nullopt;
}

}  // namespace plinth
