#pragma once

// Reading the head of an HTTP/1.1 response (status line and header fields) from the bytes a
// socket delivers, as the WebSocket handshake's answer comes.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

// The most a response head may take; a longer one is refused rather than buffered without end.
inline constexpr size_t kMaxResponseHead = 64 * 1024;

struct HttpHeader {
    std::string name;
    std::string value;  // without the blanks around it
};

struct ResponseHead {
    int status = 0;
    std::string reason;
    std::vector<HttpHeader> headers;
    size_t size = 0;  // bytes from the status line to the blank line after the headers, inclusive

    // The value of the first field named `name` (compared without case).
    std::optional<std::string_view> header(std::string_view name) const;
};

enum class ReadState { kIncomplete, kComplete, kMalformed };

struct HeadResult {
    ReadState state = ReadState::kIncomplete;
    ResponseHead head;  // only when complete
};

// The head at the start of `bytes`. Lines end in CR LF or a lone LF. Malformed: a status line
// that is not "HTTP/1.x" and a three-digit status, a field line without a colon or with a blank
// before it, an obsolete folded line, or more than kMaxResponseHead bytes without the blank line.
HeadResult parse_response_head(std::string_view bytes);

// Whether a comma-separated header value holds `token` (compared without case), as Connection
// and Transfer-Encoding values list theirs.
bool header_has_token(std::string_view value, std::string_view token);

}  // namespace quarnel
