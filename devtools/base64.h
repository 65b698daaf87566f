#pragma once

// Base64 with the standard alphabet and "=" padding: the WebSocket handshake's key and accept
// values, and the binary data DevTools messages carry as text (screenshots, screencast frames).

#include <optional>
#include <string>
#include <string_view>

namespace quarnel {

std::string base64_encode(std::string_view bytes);

// The bytes of `text`, or nothing when it is not padded Base64: a length that is not a multiple
// of 4, a byte outside the alphabet (white space included), or "=" anywhere but at the end.
std::optional<std::string> base64_decode(std::string_view text);

}  // namespace quarnel
