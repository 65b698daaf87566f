#pragma once

// Blocking HTTP GET of a web resource's body.

#include <string>

namespace quarnel {

// Downloads `url` (an absolute http:// or https:// address in the ANSI code page) and returns
// the body bytes exactly as received, whatever the status code. Any failure ends the transfer
// quietly: the result is then empty, or holds the bytes that arrived before it. An empty
// address returns at once without touching the network.
std::string http_fetch(const std::string& url);

}  // namespace quarnel
