#include "core/picture.h"

#include <cstring>

namespace quarnel {

namespace {

uint32_t read_u16(std::string_view b, size_t at) {
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}

uint32_t read_u32(std::string_view b, size_t at) {
    return read_u16(b, at) | read_u16(b, at + 2) << 16;
}

int32_t read_i32(std::string_view b, size_t at) {
    return static_cast<int32_t>(read_u32(b, at));
}

unsigned char byte_at(std::string_view b, size_t at) {
    return static_cast<unsigned char>(b[at]);
}

// Scales a masked channel value to 0..255.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;

    explicit Channel(uint32_t m) : mask(m) {
        if (!m)
            return;
        while (!((m >> shift) & 1))
            ++shift;
        max = m >> shift;
        // Only contiguous masks are meaningful.
        if ((max & (max + 1)) != 0)
            mask = 0;
    }
    uint32_t get(uint32_t value) const {
        if (!mask)
            return 0;
        return ((value & mask) >> shift) * 255 / max;
    }
};

}  // namespace

PictureKind picture_kind(std::string_view b) {
    if (b.size() <= 5)
        return PictureKind::kNone;
    if (b.substr(0, 2) == "BM")
        return PictureKind::kBmp;
    if (byte_at(b, 0) == 0xFF && byte_at(b, 1) == 0xD8)
        return PictureKind::kJpeg;
    if (b.substr(0, 4) == "\x89PNG")
        return PictureKind::kPng;
    if (read_u16(b, 0) == 0 && read_u16(b, 4) != 0) {
        if (read_u16(b, 2) == 1)
            return PictureKind::kIcon;
        if (read_u16(b, 2) == 2)
            return PictureKind::kCursor;
    }
    if (b.substr(0, 6) == "GIF87a" || b.substr(0, 6) == "GIF89a")
        return PictureKind::kGif;
    unsigned version = byte_at(b, 1), encoding = byte_at(b, 2), bits = byte_at(b, 3);
    if (byte_at(b, 0) == 0x0A && encoding == 1 && ((version <= 5 && bits == 8) || (version == 3 && bits == 1)))
        return PictureKind::kPcx;
    return PictureKind::kNone;
}

std::optional<Image> decode_bmp(std::string_view b) {
    if (b.size() < 14 + 12 || b.substr(0, 2) != "BM")
        return std::nullopt;
    uint32_t pixel_offset = read_u32(b, 10);
    uint32_t header_size = read_u32(b, 14);
    if (header_size < 12 || header_size > b.size() - 14)
        return std::nullopt;

    int64_t width, height;
    uint32_t bits, compression = 0, colours_used = 0;
    size_t palette_entry = 4;
    if (header_size == 12) {  // the old OS/2 core header
        width = read_u16(b, 18);
        height = static_cast<int16_t>(read_u16(b, 20));
        bits = read_u16(b, 24);
        palette_entry = 3;
    } else if (header_size >= 40) {
        width = read_i32(b, 18);
        height = read_i32(b, 22);
        bits = read_u16(b, 28);
        compression = read_u32(b, 30);
        colours_used = read_u32(b, 46);
    } else {
        return std::nullopt;
    }
    bool top_down = height < 0;
    if (top_down)
        height = -height;
    if (width <= 0 || height <= 0 || width * height > kMaxImagePixels)
        return std::nullopt;

    enum { kRgb = 0, kBitFields = 3, kAlphaBitFields = 6 };
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    if (compression == kBitFields || compression == kAlphaBitFields) {
        if (bits != 16 && bits != 32)
            return std::nullopt;
        // The masks follow a 40-byte header, or sit inside a larger one.
        size_t at = 14 + 40;
        size_t count = compression == kAlphaBitFields || header_size >= 56 ? 4 : 3;
        if (at + 4 * count > b.size())
            return std::nullopt;
        for (size_t i = 0; i < count; ++i)
            masks[i] = read_u32(b, at + 4 * i);
    } else if (compression != kRgb) {
        return std::nullopt;
    } else if (bits == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else if (bits == 24 || bits == 32) {
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    }

    std::vector<uint32_t> palette;
    if (bits == 1 || bits == 4 || bits == 8) {
        size_t count = colours_used ? colours_used : size_t(1) << bits;
        if (count > (size_t(1) << bits))
            count = size_t(1) << bits;
        size_t at = 14 + header_size;
        if (at + count * palette_entry > b.size())
            return std::nullopt;
        for (size_t i = 0; i < count; ++i) {
            size_t p = at + i * palette_entry;
            palette.push_back(0xFF000000u | byte_at(b, p + 2) << 16 | byte_at(b, p + 1) << 8 | byte_at(b, p));
        }
    } else if (bits != 16 && bits != 24 && bits != 32) {
        return std::nullopt;
    }

    uint64_t row_bytes = ((static_cast<uint64_t>(width) * bits + 31) / 32) * 4;
    if (pixel_offset > b.size() || row_bytes * static_cast<uint64_t>(height) > b.size() - pixel_offset)
        return std::nullopt;

    Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
    Image image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels.resize(static_cast<size_t>(width * height));
    bool any_alpha = false;
    for (int64_t y = 0; y < height; ++y) {
        int64_t source_row = top_down ? y : height - 1 - y;
        size_t row = pixel_offset + static_cast<size_t>(source_row * row_bytes);
        uint32_t* out = &image.pixels[static_cast<size_t>(y * width)];
        for (int64_t x = 0; x < width; ++x) {
            uint32_t colour;
            if (bits <= 8) {
                size_t bit = static_cast<size_t>(x) * bits;
                unsigned value = (byte_at(b, row + bit / 8) >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                colour = value < palette.size() ? palette[value] : 0xFF000000u;
            } else {
                size_t at = row + static_cast<size_t>(x) * (bits / 8);
                uint32_t value = bits == 16 ? read_u16(b, at)
                                 : bits == 24 ? byte_at(b, at) | byte_at(b, at + 1) << 8 | byte_at(b, at + 2) << 16
                                              : read_u32(b, at);
                uint32_t a = alpha.mask ? alpha.get(value) : 0xFF;
                any_alpha |= alpha.mask && a != 0;
                colour = a << 24 | red.get(value) << 16 | green.get(value) << 8 | blue.get(value);
            }
            out[x] = colour;
        }
    }
    // An alpha channel that is zero everywhere is an unused one: the picture is opaque.
    if (alpha.mask && !any_alpha) {
        for (uint32_t& p : image.pixels)
            p |= 0xFF000000u;
    }
    return image;
}

std::optional<Image> decode_picture(std::string_view bytes) {
    switch (picture_kind(bytes)) {
        case PictureKind::kBmp:
            return decode_bmp(bytes);
        default:
            return std::nullopt;
    }
}

std::vector<uint32_t> blend_over_background(const Image& image, uint32_t background) {
    const uint32_t back[3] = {(background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF};
    std::vector<uint32_t> out(image.pixels.size());
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        uint32_t p = image.pixels[i];
        uint32_t a = p >> 24;
        uint32_t channel[3] = {(p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF};
        for (int c = 0; c < 3; ++c)
            channel[c] = (channel[c] * a + back[c] * (255 - a) + 127) / 255;
        out[i] = channel[0] << 16 | channel[1] << 8 | channel[2];
    }
    return out;
}

}  // namespace quarnel
