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

Unexpected<DownloadFailure> system_failure(DWORD code) {
    return unexpected(DownloadFailure{DownloadFailure::Kind::system, static_cast<std::uint32_t>(code)});
}

Unexpected<DownloadFailure> last_failure() { return system_failure(GetLastError()); }

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
    // Cracks the URL, opens the session, connection and request, sends it, waits for the
    // response's headers and reads its status: false with the thread's last error at the first
    // step that fails, so that the caller has one failure exit rather than one per step.
    bool send(const std::string& url, std::uint32_t timeout_ms, const std::u16string& headers);

    // A header's text, empty when there is none or it is longer than the buffer (than any
    // update URL or range).
    std::string header(DWORD query) {
        wchar_t text[kHeaderChars];
        DWORD chars = 0;
        if (!header_text(api, request_.get(), query, text, chars)) return {};
        return to_utf8(wide_view(text, chars));
    }

    std::optional<std::uint64_t> announced_size() override {
        wchar_t text[kHeaderChars];
        DWORD chars = 0;
        if (!header_text(api, request_.get(), WINHTTP_QUERY_CONTENT_LENGTH, text, chars) || chars == 0 || chars > 19)
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
        (void)api.set_option(request_.get(), WINHTTP_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    }

    Expected<std::size_t, DownloadFailure> read(std::span<std::uint8_t> into) override {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(into.size(), 1u << 20));
        if (!api.read_data(request_.get(), into.data(), want, &got)) return last_failure();
        return static_cast<std::size_t>(got);
    }

    Api api;
    DWORD status = 0;

private:
    // Closed in the reverse order: the request, its connection, then the session.
    UniqueInternet session_;
    UniqueInternet connection_;
    UniqueInternet request_;
};

bool Win32Download::send(const std::string& url, std::uint32_t timeout_ms, const std::u16string& headers) {
    const std::u16string wide_url = to_utf16(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    if (!api.crack_url(wide(wide_url), 0, 0, &parts)) return false;
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    const std::u16string host = from_wide(parts.lpszHostName, parts.dwHostNameLength);
    // The path runs on into the query to the URL's end, which has no fragment (the update rule).
    const wchar_t* path = parts.dwUrlPathLength != 0     ? parts.lpszUrlPath
                          : parts.dwExtraInfoLength != 0 ? parts.lpszExtraInfo
                                                         : L"/";

    // The proxy the system is set to use, as other programs use it; before Windows 8.1 the
    // automatic kind doesn't exist, and the default one is the closest.
    for (DWORD access = WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY;; access = WINHTTP_ACCESS_TYPE_DEFAULT_PROXY) {
        session_.reset(api.open(L"plinth-setup", access, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
        if (session_) break;
        if (access == WINHTTP_ACCESS_TYPE_DEFAULT_PROXY || GetLastError() != ERROR_INVALID_PARAMETER) return false;
    }
    const int timeout = static_cast<int>(timeout_ms);
    if (!api.set_timeouts(session_.get(), timeout, timeout, timeout, timeout)) return false;
    // The wait for the response's headers has a timeout of its own (90 s unless set), which
    // WinHttpSetTimeouts leaves as it is.
    DWORD response_timeout = timeout_ms;

    connection_.reset(api.connect(session_.get(), wide(host), parts.nPort, 0));
    if (!connection_) return false;
    // Certificates are checked by the system; no SECURITY_FLAG_IGNORE_* is ever set.
    request_.reset(api.open_request(connection_.get(), L"GET", path, nullptr, WINHTTP_NO_REFERER,
                                    WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request_) return false;
    // Each hop of a redirect is the logic's to check and follow.
    DWORD no_redirects = WINHTTP_DISABLE_REDIRECTS;
    DWORD size = sizeof status;
    return api.set_option(request_.get(), WINHTTP_OPTION_DISABLE_FEATURE, &no_redirects, sizeof no_redirects) &&
           api.set_option(request_.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &response_timeout,
                          sizeof response_timeout) &&
           api.send_request(request_.get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : wide(headers),
                            static_cast<DWORD>(headers.size()), WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
           api.receive_response(request_.get(), nullptr) &&
           api.query_headers(request_.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
}

// The GET of `url` with `headers` added (none when empty): the response of a status 200, or of
// a 206 when `partial` allows it.
Expected<std::unique_ptr<Win32Download>, DownloadFailure> send_get(const std::string& url, std::uint32_t timeout_ms,
                                                                   const std::u16string& headers, bool partial) {
    auto download = std::make_unique<Win32Download>();
    if (const ErrorCode error = load_api(download->api); error != 0) return system_failure(error);
    if (!download->send(url, timeout_ms, headers)) return last_failure();
    const DWORD status = download->status;
    if (status != 200 && !(partial && status == 206)) {
        DownloadFailure failure{DownloadFailure::Kind::status, status, {}};
        // A redirect without a Location (or with one longer than any update URL) is a status.
        if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
            failure.location = download->header(WINHTTP_QUERY_LOCATION);
            if (!failure.location.empty()) failure.kind = DownloadFailure::Kind::redirect;
        }
        return unexpected(std::move(failure));
    }
    return download;
}

}  // namespace

Expected<std::unique_ptr<Download>, DownloadFailure> Win32Network::get(const std::string& url, std::uint32_t timeout_ms) {
    auto response = send_get(url, timeout_ms, {}, false);
    if (!response) return unexpected(response.error());
    return std::unique_ptr<Download>(std::move(*response));
}

Expected<RangeResponse, DownloadFailure> Win32Network::get_range(const std::string& url, std::uint64_t first,
                                                                 std::uint64_t last, std::uint32_t timeout_ms) {
    // "Range: bytes=first-last", its digits written as UTF-16 straight away.
    std::u16string header = u"Range: bytes=";
    for (std::uint64_t number : {first, last}) {
        char16_t digits[20];
        std::size_t count = 0;
        do {
            digits[count++] = static_cast<char16_t>(u'0' + number % 10);
            number /= 10;
        } while (number != 0);
        while (count != 0) header += digits[--count];
        header += u'-';
    }
    header.pop_back();
    auto response = send_get(url, timeout_ms, header, true);
    if (!response) return unexpected(response.error());
    RangeResponse range;
    range.status = (*response)->status;
    range.content_range = (*response)->header(WINHTTP_QUERY_CONTENT_RANGE);
    range.body = std::move(*response);
    return range;
}

std::uint64_t Win32Network::milliseconds() { return GetTickCount64(); }

}  // namespace plinth::platform::win32
