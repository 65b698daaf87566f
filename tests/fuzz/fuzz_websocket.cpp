// Any bytes as a server's answer on a WebSocket connection: the handshake answer and the frames
// after it. The first byte sets the piece size the bytes are fed in. Nothing may read outside the
// bytes; the frame reader must give nothing after a close or an error, and no message past its
// limit.
#include "devtools/websocket.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace quarnel;
using namespace quarnel::websocket;

namespace {

constexpr size_t kLimit = 4096;

void read_frames(std::string_view bytes, size_t piece) {
    FrameReader reader(kLimit);
    bool over = false;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        reader.feed(bytes.substr(at, piece));
        while (auto event = reader.next()) {
            if (over)
                abort();
            if (event->kind == Event::Kind::kClose || event->kind == Event::Kind::kError)
                over = true;
            bool control = event->kind == Event::Kind::kPing || event->kind == Event::Kind::kPong;
            if (event->data.size() > (control ? kMaxControlPayload : kLimit))
                abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    size_t piece = data[0] % 16 + 1;
    std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    HandshakeResult handshake = read_handshake_response(bytes, "dGhlIHNhbXBsZSBub25jZQ==");
    if (handshake.size > bytes.size())
        abort();
    // After an accepted answer the rest is frame data; otherwise all of it is tried as frames.
    read_frames(handshake.state == HandshakeResult::State::kAccepted ? bytes.substr(handshake.size) : bytes, piece);
    return 0;
}
