#include "core/http_response.h"

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

// value * base + digit into `value`; false when that would pass `limit`.
bool append_digit(size_t& value, size_t base, size_t digit, size_t limit) {
    if (digit > limit || value > (limit - digit) / base)
        return false;
    value = value * base + digit;
    return true;
}

// A decimal Content-Length, digits only; nothing when absent of digits or past `limit`.
std::optional<size_t> parse_length(std::string_view text, size_t limit) {
    if (text.empty())
        return std::nullopt;
    size_t value = 0;
    for (char c : text) {
        if (!is_digit(c))
            return std::nullopt;
        if (!append_digit(value, 10, static_cast<size_t>(c - '0'), limit))
            return std::nullopt;
    }
    return value;
}

// A chunk-size line: hex digits, then optional blanks and extensions after ";".
std::optional<size_t> parse_chunk_size(std::string_view line, size_t limit) {
    size_t value = 0, i = 0;
    for (; i < line.size(); ++i) {
        char c = lower(line[i]);
        size_t digit;
        if (is_digit(c))
            digit = static_cast<size_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<size_t>(c - 'a' + 10);
        else
            break;
        if (!append_digit(value, 16, digit, limit))
            return std::nullopt;
    }
    std::string_view rest = trim_blanks(line.substr(i));
    if (i == 0 || (!rest.empty() && rest.front() != ';'))
        return std::nullopt;
    return value;
}

// The longest chunk-size line taken; real ones are a few bytes plus rare extensions.
constexpr size_t kMaxChunkLine = 1024;

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

ReadState HttpResponseReader::feed(std::string_view bytes) {
    if (state_ != ReadState::kIncomplete)
        return state_;
    input_.append(bytes);
    return advance();
}

ReadState HttpResponseReader::end_of_stream() {
    if (state_ != ReadState::kIncomplete)
        return state_;
    return have_head_ && body_kind_ == BodyKind::kToEnd ? complete() : fail();
}

ReadState HttpResponseReader::advance() {
    if (!have_head_) {
        HeadResult result = parse_response_head(input_);
        if (result.state == ReadState::kMalformed)
            return fail();
        if (result.state == ReadState::kIncomplete)
            return state_;
        head_ = std::move(result.head);
        have_head_ = true;
        input_.erase(0, head_.size);
        used_ = head_.size;

        int status = head_.status;
        auto encoding = head_.header("Transfer-Encoding");
        auto length = head_.header("Content-Length");
        if (status / 100 == 1 || status == 204 || status == 304)
            return complete();
        if (encoding) {
            // Only chunked is read; a body in another coding could not be used anyway.
            if (!header_has_token(*encoding, "chunked"))
                return fail();
            body_kind_ = BodyKind::kChunked;
        } else if (length) {
            auto size = parse_length(*length, max_body_);
            if (!size)
                return fail();
            body_kind_ = BodyKind::kLength;
            remaining_ = *size;
        } else {
            body_kind_ = BodyKind::kToEnd;
        }
    }

    switch (body_kind_) {
        case BodyKind::kNone:
            return complete();
        case BodyKind::kLength: {
            size_t n = remaining_ < input_.size() ? remaining_ : input_.size();
            body_.append(input_, 0, n);
            input_.erase(0, n);
            used_ += n;
            remaining_ -= n;
            return remaining_ == 0 ? complete() : state_;
        }
        case BodyKind::kToEnd:
            if (input_.size() > max_body_ - body_.size())
                return fail();
            body_ += input_;
            used_ += input_.size();
            input_.clear();
            return state_;
        case BodyKind::kChunked:
            return read_chunked();
    }
    return state_;
}

ReadState HttpResponseReader::read_chunked() {
    size_t at = 0, next = 0;
    ReadState result = state_;
    while (result == ReadState::kIncomplete) {
        if (chunk_step_ == ChunkStep::kData) {
            size_t n = remaining_ < input_.size() - at ? remaining_ : input_.size() - at;
            body_.append(input_, at, n);
            at += n;
            remaining_ -= n;
            if (remaining_ > 0)
                break;
            chunk_step_ = ChunkStep::kDataEnd;
            continue;
        }
        auto line = line_at(input_, at, &next);
        if (!line) {
            size_t limit = chunk_step_ == ChunkStep::kTrailer ? kMaxResponseHead : kMaxChunkLine;
            if (input_.size() - at > limit)
                result = fail();
            break;
        }
        at = next;
        if (chunk_step_ == ChunkStep::kDataEnd) {
            if (!line->empty())
                result = fail();
            chunk_step_ = ChunkStep::kSize;
        } else if (chunk_step_ == ChunkStep::kSize) {
            auto size = parse_chunk_size(*line, max_body_ - body_.size());
            if (!size) {
                result = fail();
            } else if (*size == 0) {
                chunk_step_ = ChunkStep::kTrailer;
            } else {
                remaining_ = *size;
                chunk_step_ = ChunkStep::kData;
            }
        } else if (line->empty()) {
            result = complete();
        }
    }
    input_.erase(0, at);
    used_ += at;
    return result;
}

}  // namespace quarnel
