#include "core/url_lines.h"

#include "core/dbcs.h"

namespace quarnel {

namespace {

constexpr std::string_view kScheme = "http";

struct LineEnd {
    size_t at;      // npos: the line runs to the text's end
    size_t length;  // 2 for CR LF, 1 for LF alone
};

// The end of the line that starts at `from`, scanning as find_in_dbcs does: a CR or LF that is
// the trail byte of a double-byte unit ends nothing. An LF alone ends a line too: an address
// never holds one, and reading it as part of the line would keep the LF in one address and lose
// every address after it.
LineEnd line_end(std::string_view text, size_t from) {
    for (size_t i = from; i < text.size(); i += high_bit_char_length(text, i)) {
        if (text[i] == '\n')
            return {i, 1};
        if (text.compare(i, 2, "\r\n") == 0)
            return {i, 2};
    }
    return {std::string_view::npos, 0};
}

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
        LineEnd end = line_end(text, start);
        std::string_view line =
            text.substr(start, end.at == std::string_view::npos ? std::string_view::npos : end.at - start);
        std::string_view url = url_of_line(line);
        if (!url.empty())
            urls.push_back(url);
        if (end.at == std::string_view::npos)
            break;
        start = end.at + end.length;
    }
    return urls;
}

}  // namespace quarnel
