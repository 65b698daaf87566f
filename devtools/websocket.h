#pragma once

// The client side of the WebSocket protocol over bytes, with no socket: the opening handshake
// (the request to send and the check of the server's answer), client frames to send (always
// masked), and a reader that turns the server's bytes into messages and control frames.
//
// Bytes travel in std::string. No extension and no subprotocol is asked for, so a server that
// names one in its answer is refused and a frame with a reserved bit set is an error. Text
// messages are handed on as their bytes: their UTF-8 is not checked here.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quarnel::websocket {

enum class Opcode : std::uint8_t {
    kContinuation = 0x0,
    kText = 0x1,
    kBinary = 0x2,
    kClose = 0x8,
    kPing = 0x9,
    kPong = 0xA,
};

// Close codes this side sends or reads with a meaning of its own.
inline constexpr std::uint16_t kCloseNormal = 1000;
inline constexpr std::uint16_t kCloseProtocolError = 1002;
inline constexpr std::uint16_t kCloseNoStatus = 1005;  // a close frame without a code; never sent
inline constexpr std::uint16_t kCloseTooBig = 1009;

// A whole message may be this large by default: page sources and screenshots are big.
inline constexpr size_t kDefaultMaxMessage = 256 * 1024 * 1024;
// A control frame's payload is at most this long, and control frames are never fragmented.
inline constexpr size_t kMaxControlPayload = 125;

// The handshake.

// The Sec-WebSocket-Key value for 16 random bytes (the caller draws them).
std::string key_from_bytes(std::span<const std::uint8_t, 16> random);

// The Sec-WebSocket-Accept value a server must answer `key` with.
std::string accept_value(std::string_view key);

// The GET request that opens a connection to `path` (with its query, starting with "/") on
// `host_port` ("127.0.0.1:9222").
std::string handshake_request(std::string_view host_port, std::string_view path, std::string_view key);

struct HandshakeResult {
    enum class State { kIncomplete, kAccepted, kRefused };
    State state = State::kIncomplete;
    size_t size = 0;     // accepted: bytes of the answer; any after it are already frame data
    std::string reason;  // refused: what was wrong, for the log
};

// The server's answer to the request made with `key`, as far as it has arrived. Accepted only
// for status 101 with "Upgrade: websocket", a Connection field holding "Upgrade", the right
// Sec-WebSocket-Accept, and no extension or subprotocol.
HandshakeResult read_handshake_response(std::string_view bytes, std::string_view key);

// Frames to send.

using MaskKey = std::array<std::uint8_t, 4>;

// One client frame: the header with the shortest length field (7, 16 or 64 bits), the mask key,
// and the payload masked with it. The caller draws a fresh random key for every frame.
std::string encode_frame(Opcode opcode, std::string_view payload, bool fin, const MaskKey& mask);

// A close frame with `code` and `reason` (cut to fit the control frame's 125 bytes).
std::string encode_close(std::uint16_t code, std::string_view reason, const MaskKey& mask);

// What the reader found in the server's bytes.
struct Event {
    enum class Kind {
        kText,    // data: the whole message, its fragments joined
        kBinary,  // data: the whole message
        kPing,    // data: the payload to send back in a pong
        kPong,    // data: its payload
        kClose,   // close_code (kCloseNoStatus when the frame had none) and data: the reason
        kError,   // data: what was wrong; close_code: the code to close with
    };
    Kind kind = Kind::kText;
    std::string data;
    std::uint16_t close_code = 0;
};

// The server's frames, fed in pieces of any size. Control frames may come between the fragments
// of a message. After a close or an error it reports nothing more: the connection is over.
//
// Errors (close code 1002 unless said): a reserved bit set, a reserved opcode, a masked frame
// (servers never mask), a control frame that is fragmented or longer than 125 bytes, a length
// not in its shortest form or with the top bit set, a continuation with no message begun, a new
// message before the last one's final fragment, a close frame with a 1-byte payload or an
// invalid code, and (1009) a message longer than the limit. The limit is checked on each frame's
// header, so a hostile length never leads to an allocation past it.
class FrameReader {
public:
    explicit FrameReader(size_t max_message = kDefaultMaxMessage) : max_message_(max_message) {}

    // Takes the next bytes. Call next() until it gives nothing before feeding more: the reader
    // keeps what it has not read yet.
    void feed(std::string_view bytes);
    // The next event in the bytes fed so far, or nothing until more bytes come.
    std::optional<Event> next();

private:
    std::optional<Event> read_header();
    std::optional<Event> finish_frame();
    std::optional<Event> fail(std::string_view what, std::uint16_t code = kCloseProtocolError);

    size_t max_message_;
    std::string input_;  // fed bytes not yet read
    size_t read_ = 0;    // of input_
    bool over_ = false;

    bool in_payload_ = false;  // between a frame's header and the end of its payload
    Opcode opcode_ = Opcode::kText;
    bool fin_ = false;
    std::uint64_t remaining_ = 0;  // payload bytes still to come
    std::string control_;          // the payload of the control frame being read

    bool in_message_ = false;  // a data message has begun and its final fragment not yet come
    Opcode message_opcode_ = Opcode::kText;
    std::string message_;
};

}  // namespace quarnel::websocket
