#include "devtools/base64.h"

#include <cstdint>

namespace quarnel {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet_of(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

}  // namespace

std::string base64_encode(std::string_view bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t at = 0; at < bytes.size(); at += 3) {
        size_t n = bytes.size() - at < 3 ? bytes.size() - at : 3;
        std::uint32_t group = 0;
        for (size_t i = 0; i < 3; ++i)
            group = group << 8 | (i < n ? static_cast<unsigned char>(bytes[at + i]) : 0u);
        for (size_t i = 0; i < 4; ++i)
            text += i <= n ? kAlphabet[group >> (18 - 6 * i) & 63] : '=';
    }
    return text;
}

std::optional<std::string> base64_decode(std::string_view text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    size_t padding = 0;
    if (!text.empty() && text.back() == '=')
        padding = text[text.size() - 2] == '=' ? 2 : 1;
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (size_t at = 0; at < text.size(); at += 4) {
        bool last = at + 4 == text.size();
        std::uint32_t group = 0;
        for (size_t i = 0; i < 4; ++i) {
            bool pad = last && i >= 4 - padding;
            int sextet = pad ? 0 : sextet_of(text[at + i]);
            if (sextet < 0)
                return std::nullopt;
            group = group << 6 | static_cast<std::uint32_t>(sextet);
        }
        size_t n = last ? 3 - padding : 3;
        for (size_t i = 0; i < n; ++i)
            bytes += static_cast<char>(group >> (16 - 8 * i) & 0xFF);
    }
    return bytes;
}

}  // namespace quarnel
