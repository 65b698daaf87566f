#include "app/http_fetch.h"

#include "core/http_request.h"
#include "winbase/internet.h"
#include "winbase/lock.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace quarnel {

namespace {

// The browser identity the publisher's server has always seen from this tool.
constexpr char kUserAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
// Passed as the single accept type, header name and line end included, as it always was: the
// server gets it together with the Accept line of the extra headers below.
constexpr char kAcceptType[] = "Accept: */* \r\n";
constexpr char kExtraHeaders[] = "Accept: */*\r\n\r\n";
// Always from the server, never into the cache.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;

// Field sizes of the cracked address, terminator included.
constexpr DWORD kHostCapacity = 256;
constexpr DWORD kPathCapacity = 2048;
constexpr DWORD kCredentialCapacity = 128;
constexpr DWORD kContentLengthCapacity = 32;

// The one session of the process, opened on first use and kept until the program ends.
// Downloads may run on several threads at once: the first opens it, under the lock.
struct HttpSession {
    win::Lock lock;
    HINTERNET handle = nullptr;

    bool open() {
        std::lock_guard hold(lock);
        if (!handle)
            handle = InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
        return handle != nullptr;
    }

    // Before each request: the system's own proxy settings on the session. A failure leaves the
    // session as it was opened.
    void apply_proxy(HINTERNET connection) {
        INTERNET_PROXY_INFO info{};
        info.dwAccessType = INTERNET_OPEN_TYPE_PRECONFIG;
        InternetSetOptionA(handle, INTERNET_OPTION_PROXY, &info, sizeof(info));
        // No proxy credentials of the program's own.
        char none[] = "";
        InternetSetOptionA(connection, INTERNET_OPTION_PROXY_USERNAME, none, 1);
        InternetSetOptionA(connection, INTERNET_OPTION_PROXY_PASSWORD, none, 1);
    }
};

HttpSession& session() {
    static HttpSession s;
    return s;
}

struct CrackedUrl {
    std::array<char, kHostCapacity> host{};
    std::array<char, kPathCapacity> path{};
    std::array<char, kCredentialCapacity> user{};
    std::array<char, kCredentialCapacity> password{};
    INTERNET_PORT port = 0;
    INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
};

// Splits the address without re-encoding any character; false when it cannot be split or a
// part does not fit its field.
bool crack_url(const std::string& url, CrackedUrl& out) {
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = out.host.data();
    parts.dwHostNameLength = kHostCapacity;
    parts.lpszUrlPath = out.path.data();
    parts.dwUrlPathLength = kPathCapacity;
    parts.lpszUserName = out.user.data();
    parts.dwUserNameLength = kCredentialCapacity;
    parts.lpszPassword = out.password.data();
    parts.dwPasswordLength = kCredentialCapacity;
    if (!InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), ICU_NO_ENCODE, &parts))
        return false;
    out.port = parts.nPort;
    out.scheme = parts.nScheme;
    return true;
}

std::optional<std::string_view> content_length(HINTERNET request, std::array<char, kContentLengthCapacity>& buffer) {
    DWORD size = static_cast<DWORD>(buffer.size());
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, buffer.data(), &size, nullptr))
        return std::nullopt;
    return std::string_view(buffer.data(), std::min<DWORD>(size, static_cast<DWORD>(buffer.size())));
}

}  // namespace

std::string http_fetch(const std::string& url, size_t max_bytes, unsigned long timeout_ms) {
    std::string body;
    if (url.empty())
        return body;
    const std::string address(without_fragment(url));
    CrackedUrl cracked;
    if (!crack_url(address, cracked))
        return body;

    DWORD flags = kRequestFlags;
    if (cracked.scheme == INTERNET_SCHEME_HTTPS)
        flags |= INTERNET_FLAG_SECURE;

    HttpSession& s = session();
    if (!s.open())
        return body;
    win::UniqueInternet connection(InternetConnectA(s.handle, cracked.host.data(), cracked.port, cracked.user.data(),
                                                    cracked.password.data(), INTERNET_SERVICE_HTTP, flags, 0));
    if (!connection)
        return body;
    s.apply_proxy(connection.get());
    // A server that accepts and never answers would hold the caller, the window thread, for
    // the system's default time-outs: minutes.
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        DWORD ms = timeout_ms;
        InternetSetOptionA(connection.get(), option, &ms, sizeof(ms));
    }

    const std::string path(without_fragment(cracked.path.data()));
    const char* accept_types[] = {kAcceptType, nullptr};
    win::UniqueInternet request(
        HttpOpenRequestA(connection.get(), "GET", path.c_str(), "HTTP/1.0", nullptr, accept_types, flags, 0));
    if (!request)
        return body;
    if (!HttpSendRequestA(request.get(), kExtraHeaders, static_cast<DWORD>(sizeof(kExtraHeaders) - 1), nullptr, 0))
        return body;

    std::array<char, kContentLengthCapacity> length_text{};
    std::vector<char> chunk(read_chunk_size(content_length(request.get(), length_text)));
    for (;;) {
        DWORD got = 0;
        DWORD want = static_cast<DWORD>(std::min(chunk.size(), max_bytes - body.size()));
        if (want == 0 || !InternetReadFile(request.get(), chunk.data(), want, &got) || got == 0)
            break;
        body.append(chunk.data(), got);
    }
    return body;
}

}  // namespace quarnel
