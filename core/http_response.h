#pragma once

// Reading an HTTP/1.1 response from the bytes a socket delivers: the head (status line and
// header fields), for the WebSocket handshake and the DevTools HTTP endpoints alike, and a whole
// response with its body. The DevTools endpoints keep the connection open after a response
// whatever the request asks, so the body ends where its length says, not at the connection's
// end.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

// The most a response head may take; a longer one is refused rather than buffered without end.
inline constexpr size_t kMaxResponseHead = 64 * 1024;
inline constexpr size_t kDefaultMaxResponseBody = 64 * 1024 * 1024;

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

// One response, fed as its bytes arrive. The body ends after Content-Length bytes, with the last
// chunk of a chunked body, at once for a status without a body (1xx, 204, 304), and else at the
// end of the stream. Bytes after the response are left alone (see `used`).
class HttpResponseReader {
public:
    explicit HttpResponseReader(size_t max_body = kDefaultMaxResponseBody) : max_body_(max_body) {}

    // Takes the next bytes; once complete or malformed, further bytes change nothing.
    ReadState feed(std::string_view bytes);
    // The connection ended: a body without a length is complete; one cut short is malformed.
    ReadState end_of_stream();

    ReadState state() const { return state_; }
    const ResponseHead& head() const { return head_; }
    const std::string& body() const { return body_; }
    // How many of the fed bytes the response took; the rest belong to what follows it.
    size_t used() const { return used_; }

private:
    enum class BodyKind { kNone, kLength, kChunked, kToEnd };
    enum class ChunkStep { kSize, kData, kDataEnd, kTrailer };

    ReadState advance();
    ReadState read_chunked();
    ReadState fail() { return state_ = ReadState::kMalformed; }
    ReadState complete() { return state_ = ReadState::kComplete; }

    size_t max_body_;
    ReadState state_ = ReadState::kIncomplete;
    std::string input_;  // fed bytes not yet taken
    size_t used_ = 0;
    bool have_head_ = false;
    ResponseHead head_;
    BodyKind body_kind_ = BodyKind::kNone;
    size_t remaining_ = 0;  // of the Content-Length, or of the current chunk
    ChunkStep chunk_step_ = ChunkStep::kSize;
    std::string body_;
};

}  // namespace quarnel
