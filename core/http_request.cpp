#include "core/http_request.h"

#include <limits>

namespace quarnel {

std::string_view without_fragment(std::string_view url) {
    return url.substr(0, url.find('#'));
}

long long parse_leading_decimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    constexpr long long kMax = std::numeric_limits<long long>::max();
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        int digit = text[i] - '0';
        if (value > (kMax - digit) / 10)
            return negative ? std::numeric_limits<long long>::min() : kMax;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

size_t read_chunk_size(std::optional<std::string_view> content_length) {
    if (!content_length)
        return kDefaultReadChunk;
    long long length = parse_leading_decimal(*content_length);
    if (length <= 0)
        return kDefaultReadChunk;
    if (length >= static_cast<long long>(kLargestReadChunk))
        return kLargestReadChunk;
    return static_cast<size_t>(length) + 1;
}

}  // namespace quarnel
