#pragma once

// Little-endian numbers read from bytes (a string, a byte span or vector, or a pointer; the caller
// checks that they lie inside) and appended to byte strings and vectors.

#include <cstddef>
#include <cstdint>

namespace quarnel {

template <typename Bytes>
unsigned char byte_at(const Bytes& b, size_t at) {
    return static_cast<unsigned char>(b[at]);
}

template <typename Bytes>
uint32_t read_u16(const Bytes& b, size_t at) {
    return byte_at(b, at) | uint32_t{byte_at(b, at + 1)} << 8;
}

template <typename Bytes>
uint32_t read_u32(const Bytes& b, size_t at) {
    return read_u16(b, at) | read_u16(b, at + 2) << 16;
}

template <typename Bytes>
int32_t read_i32(const Bytes& b, size_t at) {
    return static_cast<int32_t>(read_u32(b, at));
}

template <typename Bytes>
void append_u16(Bytes& b, uint16_t value) {
    using Byte = typename Bytes::value_type;
    b.push_back(static_cast<Byte>(value & 0xFF));
    b.push_back(static_cast<Byte>(value >> 8));
}

template <typename Bytes>
void append_u32(Bytes& b, uint32_t value) {
    append_u16(b, static_cast<uint16_t>(value & 0xFFFF));
    append_u16(b, static_cast<uint16_t>(value >> 16));
}

}  // namespace quarnel
