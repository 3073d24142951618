// Where a release's installer is: its URL in the feed resolved against the feed's own, and the
// rule every URL an update downloads from (a redirect's end included) must meet.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

namespace plinth {

// `reference` resolved against `base_url` as a browser resolves a link: an absolute URL as it
// is, "//host/path" with the base's scheme, "/path" on the base's host, anything else beside the
// base (its "." and ".." segments resolved). Nothing when the base breaks the update URL rule;
// the result is not checked.
std::optional<std::string> resolve_url(std::string_view base_url, std::string_view reference);

// A release's installer URL: `reference` resolved against `feed_url`. The result must meet the
// update URL rule (package/update_url.h), and an https feed's installer is never plain http.
Result<std::string> resolve_installer_url(std::string_view feed_url, std::string_view reference);

// Why a download that was asked of `requested` but came from `final` (after redirects) must
// not be used, or nothing: `final` meets the update URL rule, and isn't plain http when
// `requested` was https.
std::optional<std::string> redirect_problem(std::string_view requested, std::string_view final);

}  // namespace plinth
