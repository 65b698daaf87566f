#include "devtools/websocket.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel::websocket {
namespace {

// The example key and accept value of the protocol's own description.
constexpr std::string_view kKey = "dGhlIHNhbXBsZSBub25jZQ==";
constexpr std::string_view kAccept = "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=";

TEST(Handshake, KeyAndAcceptValueMatchTheKnownExample) {
    std::string_view nonce = "the sample nonce";
    std::array<std::uint8_t, 16> bytes{};
    for (size_t i = 0; i < 16; ++i)
        bytes[i] = static_cast<std::uint8_t>(nonce[i]);
    EXPECT_EQ(key_from_bytes(bytes), kKey);
    EXPECT_EQ(accept_value(kKey), kAccept);
}

TEST(Handshake, RequestAsksForAnUpgradeOfThePath) {
    EXPECT_EQ(handshake_request("127.0.0.1:9222", "/devtools/browser/ab-12", kKey),
              "GET /devtools/browser/ab-12 HTTP/1.1\r\nHost: 127.0.0.1:9222\r\nUpgrade: websocket\r\n"
              "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
              "Sec-WebSocket-Version: 13\r\n\r\n");
}

TEST(Handshake, AcceptsOnlyAProperUpgradeAnswer) {
    using State = HandshakeResult::State;
    const std::string good_fields =
        "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Accept: " + std::string(kAccept) + "\r\n";
    struct Case {
        std::string name;
        std::string bytes;
        State state;
        std::string_view after = {};  // frame data after an accepted answer
    } cases[] = {
        {"accepted", "HTTP/1.1 101 Switching Protocols\r\n" + good_fields + "\r\n", State::kAccepted},
        {"frame data after the answer", "HTTP/1.1 101 OK\r\n" + good_fields + "\r\n\x81\x02hi", State::kAccepted,
         "\x81\x02hi"},
        {"other case and lists",
         "HTTP/1.1 101 OK\r\nupgrade: WebSocket\r\nconnection: keep-alive, upgrade\r\n"
         "sec-websocket-accept: " +
             std::string(kAccept) + "\r\n\r\n",
         State::kAccepted},
        {"not all here", "HTTP/1.1 101 Switching Protocols\r\n" + good_fields, State::kIncomplete},
        {"status 200", "HTTP/1.1 200 OK\r\n" + good_fields + "\r\n", State::kRefused},
        {"status 404", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", State::kRefused},
        {"no Upgrade",
         "HTTP/1.1 101 OK\r\nConnection: Upgrade\r\nSec-WebSocket-Accept: " + std::string(kAccept) + "\r\n\r\n",
         State::kRefused},
        {"no Connection",
         "HTTP/1.1 101 OK\r\nUpgrade: websocket\r\nSec-WebSocket-Accept: " + std::string(kAccept) + "\r\n\r\n",
         State::kRefused},
        {"no accept", "HTTP/1.1 101 OK\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n", State::kRefused},
        {"wrong accept",
         "HTTP/1.1 101 OK\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
         "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOp=\r\n\r\n",
         State::kRefused},
        {"an extension", "HTTP/1.1 101 OK\r\n" + good_fields + "Sec-WebSocket-Extensions: permessage-deflate\r\n\r\n",
         State::kRefused},
        {"a subprotocol", "HTTP/1.1 101 OK\r\n" + good_fields + "Sec-WebSocket-Protocol: chat\r\n\r\n",
         State::kRefused},
        {"not HTTP", "\x81\x02hi\r\n\r\n", State::kRefused},
    };
    for (const Case& c : cases) {
        HandshakeResult result = read_handshake_response(c.bytes, kKey);
        EXPECT_EQ(result.state, c.state) << c.name;
        EXPECT_EQ(result.size, c.state == State::kAccepted ? c.bytes.size() - c.after.size() : 0) << c.name;
        EXPECT_EQ(result.reason.empty(), c.state != State::kRefused) << c.name;
    }
}

TEST(EncodeFrame, UsesTheShortestLengthAndMasksThePayload) {
    const MaskKey mask = {0x37, 0xFA, 0x21, 0x3D};
    struct Case {
        size_t size;
        std::vector<std::uint8_t> length_bytes;  // the second byte without the mask bit, and any that follow
    } cases[] = {
        {0, {0}},
        {1, {1}},
        {125, {125}},
        {126, {126, 0x00, 0x7E}},
        {65535, {126, 0xFF, 0xFF}},
        {65536, {127, 0, 0, 0, 0, 0, 1, 0, 0}},
        {70000, {127, 0, 0, 0, 0, 0, 1, 0x11, 0x70}},
    };
    for (const Case& c : cases) {
        std::string payload(c.size, '\0');
        for (size_t i = 0; i < c.size; ++i)
            payload[i] = static_cast<char>(i * 7);
        for (bool fin : {true, false}) {
            std::string frame = encode_frame(Opcode::kBinary, payload, fin, mask);
            size_t header = 1 + c.length_bytes.size() + 4;
            ASSERT_EQ(frame.size(), header + c.size) << c.size;
            EXPECT_EQ(static_cast<std::uint8_t>(frame[0]), fin ? 0x82 : 0x02) << c.size;
            EXPECT_EQ(static_cast<std::uint8_t>(frame[1]), 0x80 | c.length_bytes[0]) << c.size;
            for (size_t i = 1; i < c.length_bytes.size(); ++i)
                EXPECT_EQ(static_cast<std::uint8_t>(frame[1 + i]), c.length_bytes[i]) << c.size << " byte " << i;
            for (size_t i = 0; i < 4; ++i)
                EXPECT_EQ(static_cast<std::uint8_t>(frame[header - 4 + i]), mask[i]);
            for (size_t i = 0; i < c.size; ++i)
                ASSERT_EQ(static_cast<char>(frame[header + i] ^ mask[i % 4]), payload[i]) << c.size << " at " << i;
        }
    }
}

TEST(EncodeClose, CarriesTheCodeAndAReasonCutToFit) {
    const MaskKey no_mask = {0, 0, 0, 0};
    EXPECT_EQ(encode_close(1000, "bye", no_mask), std::string("\x88\x85\0\0\0\0\x03\xE8"
                                                              "bye",
                                                              11));
    std::string frame = encode_close(1001, std::string(200, 'x'), no_mask);
    EXPECT_EQ(static_cast<std::uint8_t>(frame[1]), 0x80 | 125);
    EXPECT_EQ(frame.size(), 2 + 4 + 125u);
}

// A server frame: never masked, with the shortest length field.
std::string frame(std::uint8_t first, std::string_view payload) {
    std::string bytes(1, static_cast<char>(first));
    if (payload.size() <= 125) {
        bytes += static_cast<char>(payload.size());
    } else if (payload.size() <= 0xFFFF) {
        bytes += '\x7E';
        bytes += static_cast<char>(payload.size() >> 8);
        bytes += static_cast<char>(payload.size() & 0xFF);
    } else {
        bytes += '\x7F';
        for (int shift = 56; shift >= 0; shift -= 8)
            bytes += static_cast<char>(static_cast<std::uint64_t>(payload.size()) >> shift & 0xFF);
    }
    return bytes.append(payload);
}

std::string close_payload(std::uint16_t code, std::string_view reason = "") {
    std::string bytes;
    bytes += static_cast<char>(code >> 8);
    bytes += static_cast<char>(code & 0xFF);
    return bytes.append(reason);
}

using Kind = Event::Kind;
struct Expected {
    Kind kind;
    std::string data;
    std::uint16_t close_code = 0;
};

// Every case is fed whole and in pieces of several sizes; the events must be the same each way.
TEST(FrameReader, ReadsMessagesControlFramesAndErrorsHoweverTheBytesArrive) {
    constexpr std::uint8_t kText = 0x81, kTextPart = 0x01, kBinary = 0x82, kLast = 0x80, kPart = 0x00;
    constexpr std::uint8_t kClose = 0x88, kPing = 0x89, kPong = 0x8A;
    const std::string big(70000, 'b');
    const std::string error = "";  // an error event's text is for the log only
    struct Case {
        std::string name;
        std::string bytes;
        std::vector<Expected> events;
        size_t limit = kDefaultMaxMessage;
    } cases[] = {
        {"length 0", frame(kText, ""), {{Kind::kText, ""}}},
        {"length 125", frame(kText, std::string(125, 't')), {{Kind::kText, std::string(125, 't')}}},
        {"length 126", frame(kBinary, std::string(126, 'u')), {{Kind::kBinary, std::string(126, 'u')}}},
        {"length 65535", frame(kText, std::string(65535, 'v')), {{Kind::kText, std::string(65535, 'v')}}},
        {"length 65536", frame(kText, std::string(65536, 'w')), {{Kind::kText, std::string(65536, 'w')}}},
        {"two messages", frame(kText, "one") + frame(kBinary, "two"), {{Kind::kText, "one"}, {Kind::kBinary, "two"}}},
        {"fragments", frame(kTextPart, "Hel") + frame(kPart, "") + frame(kLast, "lo"), {{Kind::kText, "Hello"}}},
        {"big fragments", frame(kTextPart, big) + frame(kLast, big), {{Kind::kText, big + big}}},
        {"control frames between fragments",
         frame(kTextPart, "a") + frame(kPing, "p1") + frame(kPart, "b") + frame(kPong, "p2") + frame(kLast, "c"),
         {{Kind::kPing, "p1"}, {Kind::kPong, "p2"}, {Kind::kText, "abc"}}},
        {"close with code and reason",
         frame(kClose, close_payload(1000, "done")) + frame(kText, "ignored"),
         {{Kind::kClose, "done", 1000}}},
        {"close without a code", frame(kClose, ""), {{Kind::kClose, "", kCloseNoStatus}}},
        {"close in the program range", frame(kClose, close_payload(4999)), {{Kind::kClose, "", 4999}}},
        {"close with 1 byte", frame(kClose, "\x03"), {{Kind::kError, error, kCloseProtocolError}}},
        {"close code 999", frame(kClose, close_payload(999)), {{Kind::kError, error, kCloseProtocolError}}},
        {"close code 1005", frame(kClose, close_payload(1005)), {{Kind::kError, error, kCloseProtocolError}}},
        {"close code 2999", frame(kClose, close_payload(2999)), {{Kind::kError, error, kCloseProtocolError}}},
        {"reserved bit", frame(0xC1, "x") + frame(kText, "after"), {{Kind::kError, error, kCloseProtocolError}}},
        {"reserved data opcode", frame(0x83, "x"), {{Kind::kError, error, kCloseProtocolError}}},
        {"reserved control opcode", frame(0x8B, "x"), {{Kind::kError, error, kCloseProtocolError}}},
        {"masked frame", std::string("\x81\x81\x01\x02\x03\x04x", 7), {{Kind::kError, error, kCloseProtocolError}}},
        {"fragmented ping", frame(0x09, "x"), {{Kind::kError, error, kCloseProtocolError}}},
        {"long ping", frame(kPing, std::string(126, 'p')), {{Kind::kError, error, kCloseProtocolError}}},
        {"16-bit length below 126",
         std::string("\x81\x7E\x00\x7D", 4) + std::string(125, 'x'),
         {{Kind::kError, error, kCloseProtocolError}}},
        {"64-bit length below 65536",
         std::string("\x81\x7F\0\0\0\0\0\0\xFF\xFF", 10),
         {{Kind::kError, error, kCloseProtocolError}}},
        {"64-bit length with the top bit",
         std::string("\x81\x7F\x80\0\0\0\0\0\0\0", 10),
         {{Kind::kError, error, kCloseProtocolError}}},
        {"continuation without a start", frame(kLast, "x"), {{Kind::kError, error, kCloseProtocolError}}},
        {"new message amid fragments",
         frame(kTextPart, "a") + frame(kText, "b"),
         {{Kind::kError, error, kCloseProtocolError}}},
        {"message at the limit", frame(kText, "0123456789"), {{Kind::kText, "0123456789"}}, 10},
        {"frame over the limit", frame(kText, "0123456789A"), {{Kind::kError, error, kCloseTooBig}}, 10},
        {"fragments over the limit",
         frame(kTextPart, "012345") + frame(kLast, "6789A"),
         {{Kind::kError, error, kCloseTooBig}},
         10},
        {"hostile length",
         std::string("\x82\x7F\x3F\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 10),
         {{Kind::kError, error, kCloseTooBig}}},
        {"events before an error stand",
         frame(kPing, "") + frame(0xF1, ""),
         {{Kind::kPing, ""}, {Kind::kError, error, kCloseProtocolError}}},
    };
    for (const Case& c : cases) {
        for (size_t piece : {c.bytes.size(), size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{4096}}) {
            if (piece == 0)
                continue;
            FrameReader reader(c.limit);
            std::vector<Event> events;
            for (size_t at = 0; at < c.bytes.size(); at += piece) {
                reader.feed(std::string_view(c.bytes).substr(at, piece));
                while (auto event = reader.next())
                    events.push_back(std::move(*event));
            }
            ASSERT_EQ(events.size(), c.events.size()) << c.name << ", pieces of " << piece;
            for (size_t i = 0; i < events.size(); ++i) {
                EXPECT_EQ(events[i].kind, c.events[i].kind) << c.name << ", pieces of " << piece << ", event " << i;
                if (events[i].kind != Kind::kError)
                    EXPECT_TRUE(events[i].data == c.events[i].data) << c.name << ", event " << i;
                EXPECT_EQ(events[i].close_code, c.events[i].close_code) << c.name << ", event " << i;
            }
        }
    }
}

}  // namespace
}  // namespace quarnel::websocket
