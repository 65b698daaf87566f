#pragma once

// The edge between the window-free text code (UTF-16 as char16_t) and the host's wide
// strings, and decoding a fetched body by its charset.

#include "winbase/text.h"

#include <string>
#include <string_view>

namespace quarnel::host {

std::wstring to_wide(std::u16string_view text);
using win::to_u16;

// The body as text: in the charset that its Content-Type, its meta tag or its bytes tell
// (GBK when nothing does), without a byte-order mark.
std::wstring decode_body(std::string_view content_type, std::string_view body);

}  // namespace quarnel::host
