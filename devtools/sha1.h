#pragma once

// SHA-1 of a byte string. Used for the WebSocket handshake, whose accept value is the SHA-1 of
// the client's key and a fixed text; nothing here relies on SHA-1 for security.

#include <array>
#include <cstdint>
#include <string_view>

namespace quarnel {

using Sha1Digest = std::array<std::uint8_t, 20>;

Sha1Digest sha1(std::string_view bytes);

}  // namespace quarnel
