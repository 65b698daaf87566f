#include "core/page_text.h"

#include "core/dbcs.h"

#include <climits>
#include <cmath>
#include <cstdlib>

namespace quarnel {

namespace {

char fold(char c, bool ignore_case) {
    return ignore_case && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool matches_at(std::string_view text, size_t at, std::string_view needle, bool ignore_case) {
    if (needle.size() > text.size() - at)
        return false;
    for (size_t i = 0; i < needle.size(); ++i) {
        if (fold(text[at + i], ignore_case) != fold(needle[i], ignore_case))
            return false;
    }
    return true;
}

// The 0-based offset of the first match at or after `from`, stepping character by character.
size_t find_from(std::string_view text, std::string_view needle, size_t from, bool ignore_case) {
    if (needle.empty())
        return std::string_view::npos;
    for (size_t i = from; i < text.size(); i += high_bit_char_length(text, i)) {
        if (matches_at(text, i, needle, ignore_case))
            return i;
    }
    return std::string_view::npos;
}

// The 0-based offset of the last match that ends at or before `end`.
size_t find_last_ending_by(std::string_view text, std::string_view needle, size_t end, bool ignore_case) {
    size_t last = std::string_view::npos;
    for (size_t at = find_from(text, needle, 0, ignore_case); at != std::string_view::npos && at + needle.size() <= end;
         at = find_from(text, needle, at + high_bit_char_length(text, at), ignore_case))
        last = at;
    return last;
}

bool is_blank_at_start(std::string_view t) {
    return !t.empty() && (t[0] == ' ' || t.substr(0, 2) == "\xA1\xA1");
}

// Trims ASCII and full-width spaces. A full-width space at the end is only one when it is a
// whole character: the bytes A1 A1 after a lead byte are a trail byte and a new lead.
std::string_view trim_spaces(std::string_view t) {
    while (is_blank_at_start(t))
        t.remove_prefix(t[0] == ' ' ? 1 : 2);
    // Walk forward to find where trailing spaces begin, so the stepping stays on characters.
    size_t keep = 0;
    for (size_t i = 0; i < t.size();) {
        size_t n = high_bit_char_length(t, i);
        bool space = t[i] == ' ' || t.substr(i, 2) == "\xA1\xA1";
        i += n;
        if (!space)
            keep = std::min(i, t.size());
    }
    return t.substr(0, keep);
}

}  // namespace

std::string text_between(std::string_view source,
                         std::string_view left,
                         std::string_view right,
                         long long start,
                         bool ignore_case) {
    size_t from = start < 1 ? 0 : static_cast<size_t>(start - 1);
    if (from >= source.size())
        return {};
    size_t p = find_from(source, left, from, ignore_case);
    if (p == std::string_view::npos)
        return {};
    size_t content = p + left.size();
    size_t q = find_from(source, right, content, ignore_case);
    if (q == std::string_view::npos)
        return {};
    return std::string(source.substr(content, q - content));
}

std::string text_before_last(std::string_view source, std::string_view left, std::string_view right, bool ignore_case) {
    size_t p = find_last_ending_by(source, left, source.size(), ignore_case);
    if (p == std::string_view::npos)
        return {};
    size_t q = find_last_ending_by(source, right, p, ignore_case);
    if (q == std::string_view::npos)
        return {};
    return std::string(source.substr(q + right.size(), p - q - right.size()));
}

std::string clean_title(std::string_view text) {
    std::string out;
    for (char c : trim_spaces(text)) {
        if (c != '\t' && c != '\r' && c != '\n')
            out += c;
    }
    return std::string(trim_spaces(out));
}

std::string format_timestamp(const LocalTime& t) {
    auto two = [](int v) {
        std::string s = "00" + std::to_string(v);
        return s.substr(s.size() - 2);
    };
    return std::to_string(t.year) + "-" + two(t.month) + "-" + two(t.day) + " " + two(t.hour) + ":" + two(t.minute) +
           ":" + two(t.second);
}

int interval_milliseconds(std::string_view text) {
    // Full-width forms: GBK A3 A1..A3 FE are the full-width ASCII characters 0x21..0x7E, and
    // A1 A1 the full-width space.
    std::string ascii;
    for (size_t i = 0; i < text.size();) {
        auto lead = static_cast<unsigned char>(text[i]);
        auto trail = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
            ascii += static_cast<char>(trail - 0x80);
            i += 2;
        } else if (lead == 0xA1 && trail == 0xA1) {
            ascii += ' ';
            i += 2;
        } else {
            ascii += static_cast<char>(lead);
            i += 1;
        }
    }
    // The number's own characters, taken before strtod so that nothing past them (hexadecimal,
    // "inf", "nan") is read.
    size_t i = 0;
    while (i < ascii.size() && (ascii[i] == ' ' || (ascii[i] >= '\t' && ascii[i] <= '\r')))
        ++i;
    size_t begin = i;
    if (i < ascii.size() && (ascii[i] == '+' || ascii[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < ascii.size() && ascii[i] >= '0' && ascii[i] <= '9')
        ++i, ++digits;
    if (i < ascii.size() && ascii[i] == '.') {
        ++i;
        while (i < ascii.size() && ascii[i] >= '0' && ascii[i] <= '9')
            ++i, ++digits;
    }
    if (digits == 0)
        return 0;
    if (i < ascii.size() && (ascii[i] == 'e' || ascii[i] == 'E')) {
        size_t e = i + 1;
        if (e < ascii.size() && (ascii[e] == '+' || ascii[e] == '-'))
            ++e;
        if (e < ascii.size() && ascii[e] >= '0' && ascii[e] <= '9') {
            while (e < ascii.size() && ascii[e] >= '0' && ascii[e] <= '9')
                ++e;
            i = e;
        }
    }
    std::string number = ascii.substr(begin, i - begin);
    double ms = std::trunc(std::strtod(number.c_str(), nullptr) * 1000);
    if (std::isnan(ms))
        return 0;
    if (ms >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (ms <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(ms);
}

std::optional<std::string> icon_address(std::string_view source) {
    if (source.find("favicon.ico") == std::string_view::npos)
        return std::nullopt;
    std::string prefix = text_before_last(source, "favicon.ico", "\"", true);
    if (prefix.find("//") == std::string::npos)
        return std::string();
    std::string address = prefix + "favicon.ico";
    if (address.compare(0, 2, "//") == 0)
        address = "http:" + address;
    return address;
}

std::string copied_cells_text(std::span<const std::string_view> cells) {
    size_t size = 0;
    for (std::string_view cell : cells)
        size += cell.size() + 2;
    std::string joined;
    joined.reserve(size);
    for (size_t i = 0; i < cells.size(); ++i) {
        joined += cells[i];
        if (i + 1 < cells.size())
            joined += "\r\n";
    }
    std::string out;
    out.reserve(joined.size());
    std::string_view rest = joined;
    for (size_t at; (at = rest.find("\r\n\r\n")) != std::string_view::npos; rest.remove_prefix(at + 4))
        out.append(rest.substr(0, at)).append("\r\n");
    out += rest;
    return out;
}

}  // namespace quarnel
