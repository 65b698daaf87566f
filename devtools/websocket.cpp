#include "devtools/websocket.h"

#include "devtools/base64.h"
#include "devtools/http_response.h"
#include "devtools/sha1.h"

namespace quarnel::websocket {
namespace {

// The fixed text the server appends to the key before hashing it.
constexpr std::string_view kAcceptSuffix = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

bool is_control(Opcode opcode) {
    return static_cast<std::uint8_t>(opcode) >= 0x8;
}

bool is_known(std::uint8_t opcode) {
    return opcode <= 0x2 || (opcode >= 0x8 && opcode <= 0xA);
}

// Codes a peer may send in a close frame: the defined ones in 1000-1014 except those that only
// name a local condition (1004-1006), and the 3000-4999 range left to libraries and programs.
bool is_valid_close_code(std::uint16_t code) {
    if (code >= 3000 && code <= 4999)
        return true;
    return code >= 1000 && code <= 1014 && !(code >= 1004 && code <= 1006);
}

}  // namespace

std::string key_from_bytes(std::span<const std::uint8_t, 16> random) {
    return base64_encode(std::string_view(reinterpret_cast<const char*>(random.data()), random.size()));
}

std::string accept_value(std::string_view key) {
    std::string text(key);
    text += kAcceptSuffix;
    Sha1Digest digest = sha1(text);
    return base64_encode(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

std::string handshake_request(std::string_view host_port, std::string_view path, std::string_view key) {
    std::string request = "GET ";
    request.append(path);
    request += " HTTP/1.1\r\nHost: ";
    request.append(host_port);
    request += "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: ";
    request.append(key);
    request += "\r\nSec-WebSocket-Version: 13\r\n\r\n";
    return request;
}

HandshakeResult read_handshake_response(std::string_view bytes, std::string_view key) {
    using State = HandshakeResult::State;
    HeadResult result = parse_response_head(bytes);
    if (result.state == ReadState::kIncomplete)
        return {};
    if (result.state == ReadState::kMalformed)
        return {State::kRefused, 0, "malformed answer"};
    const ResponseHead& head = result.head;
    auto refuse = [](std::string why) { return HandshakeResult{State::kRefused, 0, std::move(why)}; };
    if (head.status != 101)
        return refuse("status " + std::to_string(head.status));
    auto upgrade = head.header("Upgrade");
    if (!upgrade || !header_has_token(*upgrade, "websocket"))
        return refuse("no Upgrade: websocket");
    auto connection = head.header("Connection");
    if (!connection || !header_has_token(*connection, "Upgrade"))
        return refuse("no Connection: Upgrade");
    auto accept = head.header("Sec-WebSocket-Accept");
    if (!accept || *accept != accept_value(key))
        return refuse("wrong Sec-WebSocket-Accept");
    auto extensions = head.header("Sec-WebSocket-Extensions");
    if ((extensions && !extensions->empty()) || head.header("Sec-WebSocket-Protocol"))
        return refuse("an extension or subprotocol that was not asked for");
    return {State::kAccepted, head.size, {}};
}

std::string encode_frame(Opcode opcode, std::string_view payload, bool fin, const MaskKey& mask) {
    std::string frame;
    frame.reserve(payload.size() + 14);
    frame += static_cast<char>((fin ? 0x80 : 0x00) | static_cast<std::uint8_t>(opcode));
    std::uint64_t size = payload.size();
    if (size <= 125) {
        frame += static_cast<char>(0x80 | size);
    } else if (size <= 0xFFFF) {
        frame += static_cast<char>(0x80 | 126);
        frame += static_cast<char>(size >> 8);
        frame += static_cast<char>(size & 0xFF);
    } else {
        frame += static_cast<char>(0x80 | 127);
        for (int shift = 56; shift >= 0; shift -= 8)
            frame += static_cast<char>(size >> shift & 0xFF);
    }
    for (std::uint8_t byte : mask)
        frame += static_cast<char>(byte);
    for (size_t i = 0; i < payload.size(); ++i)
        frame += static_cast<char>(static_cast<std::uint8_t>(payload[i]) ^ mask[i % 4]);
    return frame;
}

std::string encode_close(std::uint16_t code, std::string_view reason, const MaskKey& mask) {
    std::string payload;
    payload += static_cast<char>(code >> 8);
    payload += static_cast<char>(code & 0xFF);
    payload.append(reason.substr(0, kMaxControlPayload - 2));
    return encode_frame(Opcode::kClose, payload, true, mask);
}

void FrameReader::feed(std::string_view bytes) {
    if (over_)
        return;
    // What is left unread is at most a partial header: payload bytes are taken as they come.
    input_.erase(0, read_);
    read_ = 0;
    input_.append(bytes);
}

std::optional<Event> FrameReader::next() {
    while (!over_) {
        if (!in_payload_) {
            std::optional<Event> event = read_header();
            if (event || !in_payload_)
                return event;  // an error, or the header is not all here yet
            continue;
        }
        size_t available = input_.size() - read_;
        size_t n = remaining_ < available ? static_cast<size_t>(remaining_) : available;
        (is_control(opcode_) ? control_ : message_).append(input_, read_, n);
        read_ += n;
        remaining_ -= n;
        if (remaining_ > 0)
            return std::nullopt;
        in_payload_ = false;
        if (std::optional<Event> event = finish_frame())
            return event;
    }
    return std::nullopt;
}

std::optional<Event> FrameReader::read_header() {
    std::string_view bytes = std::string_view(input_).substr(read_);
    if (bytes.size() < 2)
        return std::nullopt;
    auto b0 = static_cast<std::uint8_t>(bytes[0]);
    auto b1 = static_cast<std::uint8_t>(bytes[1]);
    if (b0 & 0x70)
        return fail("reserved bit set");
    if (!is_known(b0 & 0x0F))
        return fail("reserved opcode");
    if (b1 & 0x80)
        return fail("masked frame from the server");
    auto opcode = static_cast<Opcode>(b0 & 0x0F);
    bool fin = (b0 & 0x80) != 0;
    std::uint64_t size = b1 & 0x7F;
    if (is_control(opcode) && (!fin || size > kMaxControlPayload))
        return fail("fragmented or long control frame");

    size_t header_size = size == 126 ? 4 : size == 127 ? 10 : 2;
    if (bytes.size() < header_size)
        return std::nullopt;
    if (header_size > 2) {
        size = 0;
        for (size_t i = 2; i < header_size; ++i)
            size = size << 8 | static_cast<std::uint8_t>(bytes[i]);
        if (size >> 63)
            return fail("length with the top bit set");
        if (size <= 125 || (header_size == 10 && size <= 0xFFFF))
            return fail("length not in its shortest form");
    }

    if (opcode == Opcode::kContinuation && !in_message_)
        return fail("continuation with no message begun");
    if ((opcode == Opcode::kText || opcode == Opcode::kBinary) && in_message_)
        return fail("new message before the last one ended");
    if (!is_control(opcode) && size > max_message_ - message_.size())
        return fail("message over the size limit", kCloseTooBig);

    read_ += header_size;
    opcode_ = opcode;
    fin_ = fin;
    remaining_ = size;
    in_payload_ = true;
    if (opcode == Opcode::kText || opcode == Opcode::kBinary) {
        in_message_ = true;
        message_opcode_ = opcode;
    }
    control_.clear();
    return std::nullopt;
}

std::optional<Event> FrameReader::finish_frame() {
    switch (opcode_) {
        case Opcode::kPing:
            return Event{Event::Kind::kPing, std::move(control_), 0};
        case Opcode::kPong:
            return Event{Event::Kind::kPong, std::move(control_), 0};
        case Opcode::kClose: {
            if (control_.empty()) {
                over_ = true;
                return Event{Event::Kind::kClose, {}, kCloseNoStatus};
            }
            if (control_.size() == 1)
                return fail("close frame with a 1-byte payload");
            auto code = static_cast<std::uint16_t>(static_cast<std::uint8_t>(control_[0]) << 8 |
                                                   static_cast<std::uint8_t>(control_[1]));
            if (!is_valid_close_code(code))
                return fail("invalid close code");
            over_ = true;
            return Event{Event::Kind::kClose, control_.substr(2), code};
        }
        default:
            if (!fin_)
                return std::nullopt;
            in_message_ = false;
            Event event{message_opcode_ == Opcode::kText ? Event::Kind::kText : Event::Kind::kBinary,
                        std::move(message_), 0};
            message_.clear();
            return event;
    }
}

std::optional<Event> FrameReader::fail(std::string_view what, std::uint16_t code) {
    over_ = true;
    input_.clear();
    read_ = 0;
    message_.clear();
    return Event{Event::Kind::kError, std::string(what), code};
}

}  // namespace quarnel::websocket
