#pragma once

// Reading what the title capture needs out of a page's source, and the interval of the timed
// pass out of its text box. Texts are 8-bit in the ANSI code page (GBK) and searched as
// double-byte text: a byte with the high bit set and the byte after it are one character, so a
// match never starts on a trail byte. Positions are 1-based; ignoring case folds A-Z only.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

// The text between the first `left` at or after position `start` (below 1 counts as 1) and the
// first `right` after it; "" when either is missing or the start lies beyond the end.
std::string text_between(std::string_view source,
                         std::string_view left,
                         std::string_view right,
                         long long start,
                         bool ignore_case);

// The text between the last `right` that lies wholly before the last `left`, and that `left`;
// "" when either is missing.
std::string text_before_last(std::string_view source, std::string_view left, std::string_view right, bool ignore_case);

// The text with TAB, CR and LF removed and ASCII and full-width spaces trimmed from both ends.
std::string clean_title(std::string_view text);

struct LocalTime {
    int year, month, day, hour, minute, second;
};
// "2026-12-08 04:09:48": the year with its own digits, the rest in two digits each.
std::string format_timestamp(const LocalTime& t);

// The interval text as milliseconds: full-width characters first made ASCII, then the leading
// decimal number (white space, a sign, digits with an optional point and exponent) read as
// seconds, times 1000, truncated toward zero. Text that does not begin with a number gives 0;
// values past the range of an int are held at its ends.
int interval_milliseconds(std::string_view text);

// The address of the page's site icon: nothing when the source holds no "favicon.ico" (the
// picture stays as it is); otherwise the text after the last double quote before the last
// "favicon.ico", with "favicon.ico" after it, when it holds "//" ("http:" put before a
// protocol-relative one), else "" (the built-in picture).
std::optional<std::string> icon_address(std::string_view source);

// The clipboard text of copied cells: the cells in order with CR LF between them and none after
// the last, then every CR LF CR LF replaced by CR LF in one left-to-right pass (the scan goes on
// behind the four replaced bytes, so three in a row become two).
std::string copied_cells_text(std::span<const std::string_view> cells);

}  // namespace quarnel
