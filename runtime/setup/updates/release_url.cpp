#include "updates/release_url.h"

#include "package/update_url.h"
#include "updates/sentence.h"

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

std::optional<std::string> resolve_url(std::string_view base_url, std::string_view reference) {
    const auto base = split_update_url(base_url);
    if (!base) return std::nullopt;
    const std::string origin = concat({base->scheme, "://", base->host, base->port.empty() ? "" : ":", base->port});
    // A URL without a path is the folder "/"; a query alone is on that folder.
    const std::string_view base_path = base->path.empty() || base->path.front() == '?' ? "/" : base->path;
    if (has_scheme(reference)) return std::string(reference);
    if (reference.starts_with("//")) return concat({base->scheme, ":", reference});
    if (reference.starts_with("/")) return concat({origin, without_dot_segments(reference)});
    std::string_view folder = base_path.substr(0, base_path.find('?'));
    if (reference.starts_with("?")) return concat({origin, folder, reference});
    folder = folder.substr(0, folder.rfind('/') + 1);
    return concat({origin, without_dot_segments(concat({folder, reference}))});
}

Result<std::string> resolve_installer_url(std::string_view feed_url, std::string_view reference) {
    auto url = resolve_url(feed_url, reference);
    if (!url) return fail("The update feed's URL can't be used.");
    // The URL's own problem reads "it ...", as the redirect's already does.
    auto problem = update_url_problem(*url);
    const std::string_view it = problem ? "it " : "";
    if (!problem) problem = redirect_problem(feed_url, *url);
    if (problem) return fail_with("The update feed's installer URL \"%\" can't be used: %%.", {*url, it, *problem});
    return std::move(*url);
}

std::optional<std::string> redirect_problem(std::string_view requested, std::string_view final) {
    const auto from = split_update_url(requested);
    const auto to = split_update_url(final);
    if (!to) return sentence("it leads to \"%\", which isn't a URL updates may come from", {final});
    if (from && from->scheme == "https" && to->scheme == "http") {
        return sentence("it leads from https to plain http (\"%\"), which anyone on the way could change", {final});
    }
    return std::nullopt;
}

}  // namespace plinth
