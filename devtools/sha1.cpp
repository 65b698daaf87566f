#include "devtools/sha1.h"

#include <cstddef>

namespace quarnel {
namespace {

std::uint32_t rotate_left(std::uint32_t value, int bits) {
    return value << bits | value >> (32 - bits);
}

// One 64-byte block into the running state.
void add_block(std::array<std::uint32_t, 5>& state, const std::uint8_t* block) {
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
               std::uint32_t{block[4 * i + 2]} << 8 | block[4 * i + 3];
    for (int i = 16; i < 80; ++i)
        w[i] = rotate_left(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    for (int i = 0; i < 80; ++i) {
        std::uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        std::uint32_t next = rotate_left(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rotate_left(b, 30);
        b = a;
        a = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

}  // namespace

Sha1Digest sha1(std::string_view bytes) {
    std::array<std::uint32_t, 5> state = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    std::size_t whole = bytes.size() / 64 * 64;
    for (std::size_t at = 0; at < whole; at += 64)
        add_block(state, data + at);

    // The tail, the 0x80 marker, zeros up to 8 bytes short of a block end, then the bit length.
    std::uint8_t tail[128] = {};
    std::size_t rest = bytes.size() - whole;
    for (std::size_t i = 0; i < rest; ++i)
        tail[i] = data[whole + i];
    tail[rest] = 0x80;
    std::size_t tail_size = rest < 56 ? 64 : 128;
    std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
    for (int i = 0; i < 8; ++i)
        tail[tail_size - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
    for (std::size_t at = 0; at < tail_size; at += 64)
        add_block(state, tail + at);

    Sha1Digest digest{};
    for (int i = 0; i < 20; ++i)
        digest[i] = static_cast<std::uint8_t>(state[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

}  // namespace quarnel
