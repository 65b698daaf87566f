#pragma once

// Little-endian numbers read from byte strings (the caller checks that they lie inside) and
// appended to them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quarnel {

inline unsigned char byte_at(std::string_view b, size_t at) {
    return static_cast<unsigned char>(b[at]);
}

inline uint32_t read_u16(std::string_view b, size_t at) {
    return byte_at(b, at) | uint32_t{byte_at(b, at + 1)} << 8;
}

inline uint32_t read_u32(std::string_view b, size_t at) {
    return read_u16(b, at) | read_u16(b, at + 2) << 16;
}

inline int32_t read_i32(std::string_view b, size_t at) {
    return static_cast<int32_t>(read_u32(b, at));
}

inline void append_u16(std::string& b, uint16_t value) {
    b.push_back(static_cast<char>(value & 0xFF));
    b.push_back(static_cast<char>(value >> 8));
}

}  // namespace quarnel
