#pragma once

// The parts of an HTTP fetch that need no network: what of an address is requested, and how
// large the pieces are in which the body is read.

#include <cstddef>
#include <optional>
#include <string_view>

namespace quarnel {

// Read size when the response names no usable length, and the most ever read at once.
inline constexpr size_t kDefaultReadChunk = 10240;
inline constexpr size_t kLargestReadChunk = 102400;

// The address up to its first "#": a fragment is for the browser and is never sent.
std::string_view without_fragment(std::string_view url);

// The decimal number at the start of `text` as C's strtol reads it (leading white space, an
// optional sign, digits up to the first other byte), saturated to the 64-bit range; 0 when
// there are no digits.
long long parse_leading_decimal(std::string_view text);

// The size of each body read, from the Content-Length header's value (nullopt when the
// response has none or it could not be read): the length + 1, so a body of known length
// arrives in one read and the next read sees its end, but at most kLargestReadChunk;
// kDefaultReadChunk for a missing, zero, negative or unparsable length.
size_t read_chunk_size(std::optional<std::string_view> content_length);

}  // namespace quarnel
