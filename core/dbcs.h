#pragma once

// Stepping through 8-bit text in a double-byte code page one character at a time. The program
// needs two readings of the same bytes:
// - high-bit stepping: any byte with the high bit set leads a two-byte character, whatever
//   follows it, as the address lines and the text searches read a text;
// - code page 936 stepping: only a valid GBK pair (lead 0x81 to 0xFE, trail 0x40 to 0xFE but
//   0x7F) is one character, and any other byte stands alone, as Windows reads a file name when
//   it converts it.
// Either way a character never starts on a trail byte, so a match found by stepping never
// splits one.

#include <cstddef>
#include <string_view>

namespace quarnel {

// The number of bytes the character at `at` spans under high-bit stepping: 2 for a byte with
// the high bit set (even when it is the last byte, so that a step may go past the end), else 1.
inline size_t high_bit_char_length(std::string_view text, size_t at) {
    return (static_cast<unsigned char>(text[at]) & 0x80) != 0 ? 2 : 1;
}

// The number of bytes the character at `at` spans under code page 936 stepping: 2 for a valid
// GBK pair, else 1.
inline size_t cp936_char_length(std::string_view text, size_t at) {
    auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x81 || lead == 0xFF || at + 1 >= text.size())
        return 1;
    auto trail = static_cast<unsigned char>(text[at + 1]);
    return trail >= 0x40 && trail <= 0xFE && trail != 0x7F ? 2 : 1;
}

}  // namespace quarnel
