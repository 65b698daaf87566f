#pragma once

// Blocking HTTP GET of a web resource's body.

#include <cstddef>
#include <string>

namespace quarnel {

// How long the program's downloads wait for a server at each step.
inline constexpr unsigned long kFetchTimeoutMs = 10000;

// Downloads `url` (an absolute http:// or https:// address in the ANSI code page) and returns
// the body bytes exactly as received, whatever the status code. Any failure ends the transfer
// quietly: the result is then empty, or holds the bytes that arrived before it. An empty
// address returns at once without touching the network. Connecting, sending and each wait for
// data give up after `timeout_ms`; the body stops at `max_bytes`, so an endless one cannot fill
// memory.
std::string http_fetch(const std::string& url, size_t max_bytes, unsigned long timeout_ms = kFetchTimeoutMs);

// The limits of the program's two downloads.
inline constexpr size_t kIconFetchLimit = 1024 * 1024;
inline constexpr size_t kStartAddressFetchLimit = 64 * 1024;

}  // namespace quarnel
