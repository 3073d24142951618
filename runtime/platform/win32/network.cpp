#include "platform/win32/network.h"

#include <windows.h>

#include <winhttp.h>

#include <cstring>
#include <string_view>
#include <vector>

#include "platform/win32/system_library.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace plinth::platform::win32 {
namespace {

struct InternetTraits {
    using Type = HINTERNET;
    static Type invalid() { return nullptr; }
    static bool is_valid(Type h) { return h != nullptr; }
    static void close(Type h) {
        if (auto close = winhttp().function<decltype(WinHttpCloseHandle)>("WinHttpCloseHandle")) (*close)(h);
    }
};
using UniqueInternet = UniqueHandle<InternetTraits>;

// A system failure, which becomes whichever result the caller returns (`return last_failure();`)
// out of line: each of the request's many exits is then a call, not a DownloadFailure moved into
// the result and destroyed. Made before the caller's handles close, which keep the last error.
struct SystemFailure {
    DWORD code;
    template <class T>
    [[gnu::noinline]] operator Expected<T, DownloadFailure>() const {
        return unexpected(DownloadFailure{DownloadFailure::Kind::system, static_cast<std::uint32_t>(code)});
    }
};

SystemFailure system_failure(DWORD code) { return {code}; }

SystemFailure last_failure() { return {GetLastError()}; }

// The WinHTTP functions the download calls, found once.
struct Api {
    decltype(WinHttpOpen)* open = nullptr;
    decltype(WinHttpCrackUrl)* crack_url = nullptr;
    decltype(WinHttpConnect)* connect = nullptr;
    decltype(WinHttpOpenRequest)* open_request = nullptr;
    decltype(WinHttpSetTimeouts)* set_timeouts = nullptr;
    decltype(WinHttpSetOption)* set_option = nullptr;
    decltype(WinHttpSendRequest)* send_request = nullptr;
    decltype(WinHttpReceiveResponse)* receive_response = nullptr;
    decltype(WinHttpQueryHeaders)* query_headers = nullptr;
    decltype(WinHttpReadData)* read_data = nullptr;
};

// The headers read here are a number or a URL; an update's URLs are at most 2048 characters.
constexpr std::size_t kHeaderChars = 2049;

// One string of names, each ended by its zero: a table of pointers would cost each its pointer
// and its relocation.
constexpr char kApiNames[] =
    "WinHttpOpen\0WinHttpCrackUrl\0WinHttpConnect\0WinHttpOpenRequest\0WinHttpSetTimeouts\0"
    "WinHttpSetOption\0WinHttpSendRequest\0WinHttpReceiveResponse\0WinHttpQueryHeaders\0"
    "WinHttpReadData";
constexpr std::size_t count_names() {
    std::size_t count = 0;
    for (char c : kApiNames) count += c == '\0';
    return count;
}
static_assert(sizeof(Api) == count_names() * sizeof(void (*)()), "one name for each of the Api's functions, in its order");

// Found by name into the Api's slots in order, in one loop rather than one typed call each.
ErrorCode load_api(Api& api) {
    char* slot = reinterpret_cast<char*>(&api);
    for (const char* name = kApiNames; name != kApiNames + sizeof kApiNames; name += std::strlen(name) + 1) {
        auto address = winhttp().function<void()>(name);
        if (!address) return address.error();
        void (*function)() = *address;
        std::memcpy(slot, &function, sizeof function);
        slot += sizeof function;
    }
    return 0;
}

// A header's text, when it fits the buffer.
bool header_text(const Api& api, HINTERNET request, DWORD query, wchar_t (&buffer)[kHeaderChars], DWORD& chars) {
    DWORD size = sizeof buffer;
    if (!api.query_headers(request, query, WINHTTP_HEADER_NAME_BY_INDEX, buffer, &size, WINHTTP_NO_HEADER_INDEX))
        return false;
    chars = size / sizeof(wchar_t);
    return true;
}

class Win32Download final : public Download {
public:
    Win32Download(const Api& api, UniqueInternet connection, UniqueInternet request, DWORD status)
        : api_(api), connection_(std::move(connection)), request_(std::move(request)), status_(status) {}

    std::uint32_t status() const { return status_; }

    // The Content-Range header, empty when there is none or it is longer than any range's.
    std::string content_range() {
        wchar_t text[kHeaderChars];
        DWORD chars = 0;
        if (!header_text(api_, request_.get(), WINHTTP_QUERY_CONTENT_RANGE, text, chars)) return {};
        return to_utf8(wide_view(text, chars));
    }

    std::optional<std::uint64_t> announced_size() override {
        wchar_t text[kHeaderChars];
        DWORD chars = 0;
        if (!header_text(api_, request_.get(), WINHTTP_QUERY_CONTENT_LENGTH, text, chars) || chars == 0 || chars > 19)
            return std::nullopt;
        std::uint64_t value = 0;
        for (wchar_t c : std::wstring_view(text, chars)) {
            if (c < L'0' || c > L'9') return std::nullopt;
            value = value * 10 + static_cast<std::uint64_t>(c - L'0');
        }
        return value;
    }

    void limit_wait(std::uint32_t timeout_ms) override {
        DWORD timeout = timeout_ms;
        // Refused only for a handle of the wrong kind: the request's own timeout then stays.
        (void)api_.set_option(request_.get(), WINHTTP_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    }

    Expected<std::size_t, DownloadFailure> read(std::span<std::uint8_t> into) override {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(into.size(), 1u << 20));
        if (!api_.read_data(request_.get(), into.data(), want, &got)) return last_failure();
        return static_cast<std::size_t>(got);
    }

private:
    Api api_;
    // Closed in the reverse order: the request, then its connection (the session is the network's).
    UniqueInternet connection_;
    UniqueInternet request_;
    DWORD status_;
};

// The GET of `url` with `headers` added (none when empty): the response of a status 200, or of
// a 206 when `partial` allows it. `session` is opened on the first call and kept.
Expected<std::unique_ptr<Win32Download>, DownloadFailure> send_get(const std::string& url, std::uint32_t timeout_ms,
                                                                   const std::u16string& headers, bool partial,
                                                                   HINTERNET& session) {
    Api api;
    if (const ErrorCode error = load_api(api); error != 0) return system_failure(error);

    const std::u16string wide_url = to_utf16(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    if (!api.crack_url(wide(wide_url), 0, 0, &parts)) return last_failure();
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    const std::u16string host = from_wide(parts.lpszHostName, parts.dwHostNameLength);
    // The path runs on into the query to the URL's end, which has no fragment (the update rule).
    const wchar_t* path = parts.dwUrlPathLength != 0     ? parts.lpszUrlPath
                          : parts.dwExtraInfoLength != 0 ? parts.lpszExtraInfo
                                                         : L"/";

    // The proxy the system is set to use, as other programs use it; before Windows 8.1 the
    // automatic kind doesn't exist, and the default one is the closest. One session serves every
    // request: WinHTTP keeps a connection alive within its session, so an update's range requests
    // share one instead of each making its own (and its TLS handshake).
    for (DWORD access = WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY; session == nullptr; access = WINHTTP_ACCESS_TYPE_DEFAULT_PROXY) {
        session = api.open(L"plinth-setup", access, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
        if (session == nullptr && (access == WINHTTP_ACCESS_TYPE_DEFAULT_PROXY || GetLastError() != ERROR_INVALID_PARAMETER))
            return last_failure();
    }
    // Set on the session, they apply to the handles made from it next: this request's.
    const int timeout = static_cast<int>(timeout_ms);
    if (!api.set_timeouts(session, timeout, timeout, timeout, timeout)) return last_failure();
    // The wait for the response's headers has a timeout of its own (90 s unless set), which
    // WinHttpSetTimeouts leaves as it is.
    DWORD response_timeout = timeout_ms;

    UniqueInternet connection(api.connect(session, wide(host), parts.nPort, 0));
    if (!connection) return last_failure();
    // Certificates are checked by the system; no SECURITY_FLAG_IGNORE_* is ever set.
    UniqueInternet request(api.open_request(connection.get(), L"GET", path, nullptr, WINHTTP_NO_REFERER,
                                            WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return last_failure();
    // Each hop of a redirect is the logic's to check and follow.
    DWORD no_redirects = WINHTTP_DISABLE_REDIRECTS;
    if (!api.set_option(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &no_redirects, sizeof no_redirects))
        return last_failure();
    if (!api.set_option(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response_timeout, sizeof response_timeout))
        return last_failure();
    if (!api.send_request(request.get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : wide(headers),
                          static_cast<DWORD>(headers.size()), WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
        return last_failure();
    if (!api.receive_response(request.get(), nullptr)) return last_failure();

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!api.query_headers(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
        return last_failure();
    if (status != 200 && !(partial && status == 206)) {
        DownloadFailure failure{DownloadFailure::Kind::status, status, {}};
        wchar_t location[kHeaderChars];
        DWORD chars = 0;
        // A redirect without a Location (or with one longer than any update URL) is a status.
        if ((status == 301 || status == 302 || status == 303 || status == 307 || status == 308) &&
            header_text(api, request.get(), WINHTTP_QUERY_LOCATION, location, chars) && chars > 0) {
            failure.kind = DownloadFailure::Kind::redirect;
            failure.location = to_utf8(wide_view(location, chars));
        }
        return unexpected(std::move(failure));
    }
    return std::make_unique<Win32Download>(api, std::move(connection), std::move(request), status);
}

}  // namespace

Win32Network::~Win32Network() {
    if (session_ != nullptr) InternetTraits::close(session_);
}

Expected<std::unique_ptr<Download>, DownloadFailure> Win32Network::get(const std::string& url, std::uint32_t timeout_ms) {
    auto response = send_get(url, timeout_ms, {}, false, session_);
    if (!response) return unexpected(response.error());
    return std::unique_ptr<Download>(std::move(*response));
}

Expected<RangeResponse, DownloadFailure> Win32Network::get_range(const std::string& url, std::uint64_t first,
                                                                 std::uint64_t last, std::uint32_t timeout_ms) {
    std::u16string header = u"Range: bytes=";
    header += to_utf16(decimal_text(first));
    header += u'-';
    header += to_utf16(decimal_text(last));
    auto response = send_get(url, timeout_ms, header, true, session_);
    if (!response) return unexpected(response.error());
    RangeResponse range;
    range.status = (*response)->status();
    range.content_range = (*response)->content_range();
    range.body = std::move(*response);
    return range;
}

std::uint64_t Win32Network::milliseconds() { return GetTickCount64(); }

}  // namespace plinth::platform::win32
