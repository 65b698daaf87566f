#include "core/url_lines.h"

#include "core/dbcs.h"

namespace quarnel {

namespace {

constexpr std::string_view kScheme = "http";

}  // namespace

size_t find_in_dbcs(std::string_view text, std::string_view needle, size_t from) {
    if (needle.empty())
        return from <= text.size() ? from : std::string_view::npos;
    size_t i = from;
    while (i < text.size()) {
        if (text.compare(i, needle.size(), needle) == 0)
            return i;
        // A lead byte and its trail byte are stepped over together; a lead byte at the very end
        // has no trail byte and ends the scan.
        i += high_bit_char_length(text, i);
    }
    return std::string_view::npos;
}

std::vector<std::string_view> split_dbcs(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (;;) {
        size_t at = find_in_dbcs(text, separator, start);
        if (at == std::string_view::npos)
            break;
        pieces.push_back(text.substr(start, at - start));
        start = at + separator.size();
    }
    if (start < text.size())
        pieces.push_back(text.substr(start));
    return pieces;
}

std::string_view url_of_line(std::string_view line) {
    if (line.substr(0, kScheme.size()) != kScheme)
        return {};
    // The line splits at each "http" into an empty first piece and the address's rest; the rest
    // is the text up to the next "http", or the line's remainder when that is not empty.
    size_t next = find_in_dbcs(line, kScheme, kScheme.size());
    if (next == std::string_view::npos && line.size() == kScheme.size())
        return {};
    if (next == std::string_view::npos)
        next = line.size();
    return line.substr(0, next);
}

std::vector<std::string_view> extract_urls(std::string_view text) {
    std::vector<std::string_view> urls;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = find_in_dbcs(text, "\r\n", start);
        std::string_view line =
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        std::string_view url = url_of_line(line);
        if (!url.empty())
            urls.push_back(url);
        if (end == std::string_view::npos)
            break;
        start = end + 2;
    }
    return urls;
}

}  // namespace quarnel
