#pragma once

// Reading web addresses out of the address text: 8-bit text in the ANSI code page (GBK), lines
// separated by CR LF, or by LF alone as in text from other systems.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

// The text of a byte string: the bytes before the first NUL, or all of them when there is none.
inline std::string_view text_before_nul(std::string_view bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

// Position of the next occurrence of `needle` in `text` at or after `from`, scanning the text as
// double-byte text: a byte with the high bit set and the byte after it form one unit, and a
// match never starts inside a unit. npos when there is none.
size_t find_in_dbcs(std::string_view text, std::string_view needle, size_t from = 0);

// The address a line of the address text yields, or an empty string when it yields none.
// A line yields an address only when it begins with exactly "http"; the address runs from there
// up to the next "http" in the line or the line's end. A line that is exactly "http" has nothing
// after its scheme and yields none.
std::string_view url_of_line(std::string_view line);

// Every address of the text, in order, one per accepted line, duplicates kept.
std::vector<std::string_view> extract_urls(std::string_view text);

}  // namespace quarnel
