#include "devtools/http_response.h"

namespace quarnel {
namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equal_without_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim_blanks(std::string_view text) {
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The line starting at `at`, without its CR LF or LF; nothing when its end has not arrived.
std::optional<std::string_view> line_at(std::string_view bytes, size_t at, size_t* next) {
    size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos)
        return std::nullopt;
    *next = end + 1;
    std::string_view line = bytes.substr(at, end - at);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

bool parse_status_line(std::string_view line, ResponseHead& head) {
    if (line.size() < 12 || line.substr(0, 7) != "HTTP/1." || !is_digit(line[7]) || line[8] != ' ')
        return false;
    if (!is_digit(line[9]) || !is_digit(line[10]) || !is_digit(line[11]))
        return false;
    if (line.size() > 12 && line[12] != ' ')
        return false;
    head.status = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    head.reason = line.size() > 12 ? std::string(line.substr(13)) : std::string();
    return true;
}

bool parse_field_line(std::string_view line, ResponseHead& head) {
    size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos || is_blank(line.front()) || is_blank(line[colon - 1]))
        return false;
    head.headers.push_back({std::string(line.substr(0, colon)), std::string(trim_blanks(line.substr(colon + 1)))});
    return true;
}

}  // namespace

std::optional<std::string_view> ResponseHead::header(std::string_view name) const {
    for (const HttpHeader& h : headers)
        if (equal_without_case(h.name, name))
            return std::string_view(h.value);
    return std::nullopt;
}

HeadResult parse_response_head(std::string_view bytes) {
    HeadResult result;
    size_t at = 0, next = 0;
    bool first = true;
    while (auto line = line_at(bytes, at, &next)) {
        if (next > kMaxResponseHead)
            break;
        at = next;
        if (first) {
            if (!parse_status_line(*line, result.head))
                return {ReadState::kMalformed, {}};
            first = false;
        } else if (line->empty()) {
            result.state = ReadState::kComplete;
            result.head.size = at;
            return result;
        } else if (!parse_field_line(*line, result.head)) {
            return {ReadState::kMalformed, {}};
        }
    }
    if (bytes.size() >= kMaxResponseHead)
        return {ReadState::kMalformed, {}};
    return {ReadState::kIncomplete, {}};
}

bool header_has_token(std::string_view value, std::string_view token) {
    while (!value.empty()) {
        size_t comma = value.find(',');
        if (equal_without_case(trim_blanks(value.substr(0, comma)), token))
            return true;
        if (comma == std::string_view::npos)
            break;
        value.remove_prefix(comma + 1);
    }
    return false;
}

}  // namespace quarnel
