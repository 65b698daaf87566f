#include "core/picture.h"

#include "core/gif_decode.h"
#include "core/le_bytes.h"
#include "core/pcx_decode.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace quarnel {

namespace {

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

namespace {

// Run-length encoded 8- or 4-bit pixels from `at` on, as palette indexes placed bottom row
// first; pixels the data skips (end of line, delta, an early end) stay transparent. Every step
// consumes at least two bytes, and pixels outside the image are dropped.
void decode_rle(std::string_view b, size_t at, uint32_t bits, const std::vector<uint32_t>& palette, Image& image) {
    auto colour = [&](unsigned index) { return index < palette.size() ? palette[index] : 0xFF000000u; };
    int64_t x = 0, y = image.height - 1;
    auto put = [&](unsigned index) {
        if (x < image.width && y >= 0)
            image.pixels[static_cast<size_t>(y * image.width + x)] = colour(index);
        ++x;
    };
    while (at + 1 < b.size() && y >= 0) {
        unsigned count = byte_at(b, at), value = byte_at(b, at + 1);
        at += 2;
        if (count > 0) {
            for (unsigned i = 0; i < count; ++i)
                put(bits == 8 ? value : (i % 2 == 0 ? value >> 4 : value & 0x0F));
        } else if (value == 0) {  // end of line
            x = 0;
            --y;
        } else if (value == 1) {  // end of bitmap
            return;
        } else if (value == 2) {  // delta
            if (at + 1 >= b.size())
                return;
            x += byte_at(b, at);
            y -= byte_at(b, at + 1);
            at += 2;
        } else {  // a literal run of `value` pixels, padded to a 16-bit boundary
            size_t bytes = bits == 8 ? value : (value + 1) / 2;
            if (at + bytes > b.size())
                bytes = b.size() - at;
            for (unsigned i = 0; i < value && i / (bits == 8 ? 1 : 2) < bytes; ++i) {
                unsigned byte = byte_at(b, at + (bits == 8 ? i : i / 2));
                put(bits == 8 ? byte : (i % 2 == 0 ? byte >> 4 : byte & 0x0F));
            }
            at += bytes + (bytes & 1);
        }
    }
}

}  // namespace

std::optional<Image> decode_dib(std::string_view b, size_t header_at, size_t pixel_offset, bool icon) {
    if (header_at + 12 > b.size())
        return std::nullopt;
    uint32_t header_size = read_u32(b, header_at);
    if (header_size < 12 || header_size > b.size() - header_at)
        return std::nullopt;

    int64_t width, height;
    uint32_t bits, compression = 0, colours_used = 0;
    size_t palette_entry = 4;
    const size_t h = header_at;
    if (header_size == 12) {  // the old OS/2 core header
        width = read_u16(b, h + 4);
        height = static_cast<int16_t>(read_u16(b, h + 6));
        bits = read_u16(b, h + 10);
        palette_entry = 3;
    } else if (header_size >= 40) {
        width = read_i32(b, h + 4);
        height = read_i32(b, h + 8);
        bits = read_u16(b, h + 14);
        compression = read_u32(b, h + 16);
        colours_used = read_u32(b, h + 32);
    } else {
        return std::nullopt;
    }
    bool top_down = height < 0;
    if (top_down)
        height = -height;
    // An icon's bitmap holds the colour rows and then the mask rows: twice the image's height.
    if (icon) {
        if (top_down)
            return std::nullopt;
        height /= 2;
    }
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide ||
        width * height > kMaxImagePixels)
        return std::nullopt;

    enum { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };
    bool rle = compression == kRle8 || compression == kRle4;
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    if (compression == kBitFields || compression == kAlphaBitFields) {
        if (bits != 16 && bits != 32)
            return std::nullopt;
        // The masks follow a 40-byte header, or sit inside a larger one.
        size_t at = h + 40;
        size_t count = compression == kAlphaBitFields || header_size >= 56 ? 4 : 3;
        if (at + 4 * count > b.size())
            return std::nullopt;
        for (size_t i = 0; i < count; ++i)
            masks[i] = read_u32(b, at + 4 * i);
    } else if (rle) {
        if (bits != (compression == kRle8 ? 8u : 4u) || top_down || icon)
            return std::nullopt;
    } else if (compression != kRgb) {
        return std::nullopt;
    } else if (bits == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else if (bits == 24 || bits == 32) {
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
        // An icon's 32-bit pixels carry alpha in their top byte.
        if (icon && bits == 32)
            masks[3] = 0xFF000000;
    }

    std::vector<uint32_t> palette;
    size_t palette_at = h + header_size + (compression == kBitFields && header_size == 40 ? 12 : 0) +
                        (compression == kAlphaBitFields && header_size == 40 ? 16 : 0);
    if (bits == 1 || bits == 4 || bits == 8) {
        size_t count = colours_used ? colours_used : size_t(1) << bits;
        if (count > (size_t(1) << bits))
            count = size_t(1) << bits;
        if (palette_at + count * palette_entry > b.size())
            return std::nullopt;
        for (size_t i = 0; i < count; ++i) {
            size_t p = palette_at + i * palette_entry;
            palette.push_back(0xFF000000u | byte_at(b, p + 2) << 16 | byte_at(b, p + 1) << 8 | byte_at(b, p));
        }
        palette_at += count * palette_entry;
    } else if (bits != 16 && bits != 24 && bits != 32) {
        return std::nullopt;
    }
    if (pixel_offset == 0)
        pixel_offset = palette_at;
    if (pixel_offset > b.size())
        return std::nullopt;

    Image image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    if (rle) {
        // Two bytes give at most 255 pixels: a header claiming far more than the data could
        // hold is refused before anything is allocated.
        if (static_cast<uint64_t>(width * height) > (b.size() - pixel_offset) * uint64_t{256} + 256)
            return std::nullopt;
        image.pixels.assign(static_cast<size_t>(width * height), 0);
        decode_rle(b, pixel_offset, bits, palette, image);
        return image;
    }

    uint64_t row_bytes = ((static_cast<uint64_t>(width) * bits + 31) / 32) * 4;
    if (row_bytes * static_cast<uint64_t>(height) > b.size() - pixel_offset)
        return std::nullopt;

    Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
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
                uint32_t value = bits == 16   ? read_u16(b, at)
                                 : bits == 24 ? byte_at(b, at) | byte_at(b, at + 1) << 8 | byte_at(b, at + 2) << 16
                                              : read_u32(b, at);
                uint32_t a = alpha.mask ? alpha.get(value) : 0xFF;
                any_alpha |= alpha.mask && a != 0;
                colour = a << 24 | red.get(value) << 16 | green.get(value) << 8 | blue.get(value);
            }
            out[x] = colour;
        }
    }
    // An alpha channel that is zero everywhere is an unused one: the picture is opaque, or, in
    // an icon, shaped by its mask.
    bool use_mask = icon && !any_alpha;
    if (alpha.mask && !any_alpha) {
        for (uint32_t& p : image.pixels)
            p |= 0xFF000000u;
    }
    if (use_mask) {
        // The AND mask: 1 bit a pixel, rows padded to 32 bits, bottom row first; a set bit is a
        // transparent pixel. A missing mask leaves the picture opaque.
        size_t mask_at = pixel_offset + static_cast<size_t>(row_bytes * static_cast<uint64_t>(height));
        uint64_t mask_row = ((static_cast<uint64_t>(width) + 31) / 32) * 4;
        if (mask_row * static_cast<uint64_t>(height) <= b.size() - mask_at) {
            for (int64_t y = 0; y < height; ++y) {
                size_t row = mask_at + static_cast<size_t>((height - 1 - y) * mask_row);
                for (int64_t x = 0; x < width; ++x) {
                    if ((byte_at(b, row + static_cast<size_t>(x / 8)) >> (7 - x % 8)) & 1)
                        image.pixels[static_cast<size_t>(y * width + x)] &= 0x00FFFFFF;
                }
            }
        }
    }
    return image;
}

std::optional<Image> decode_bmp(std::string_view b) {
    if (b.size() < 14 + 12 || b.substr(0, 2) != "BM")
        return std::nullopt;
    uint32_t pixel_offset = read_u32(b, 10);
    if (pixel_offset == 0)
        return std::nullopt;
    return decode_dib(b, 14, pixel_offset, false);
}

std::optional<Image> decode_picture(std::string_view bytes) {
    switch (picture_kind(bytes)) {
        case PictureKind::kBmp:
            return decode_bmp(bytes);
        case PictureKind::kPng:
            return decode_png(bytes);
        case PictureKind::kJpeg:
            return decode_jpeg(bytes);
        case PictureKind::kIcon:
        case PictureKind::kCursor:
            return decode_icon(bytes);
        case PictureKind::kGif:
            return decode_gif(bytes);
        case PictureKind::kPcx:
            return decode_pcx(bytes);
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

namespace {

// A pixel with its colour weighted by its alpha, in floating point for the averaging.
struct Weighted {
    double a = 0, r = 0, g = 0, b = 0;
    void add(uint32_t p, double weight) {
        double alpha = (p >> 24) * weight;
        a += alpha;
        r += ((p >> 16) & 0xFF) * alpha;
        g += ((p >> 8) & 0xFF) * alpha;
        b += (p & 0xFF) * alpha;
    }
    uint32_t pixel(double total_weight) const {
        if (a <= 0)
            return 0;
        auto channel = [](double v) { return static_cast<uint32_t>(std::clamp(v + 0.5, 0.0, 255.0)); };
        return channel(a / total_weight) << 24 | channel(r / a) << 16 | channel(g / a) << 8 | channel(b / a);
    }
};

// For each output pixel along one axis, the input pixels it draws on and their weights: the
// covered area when shrinking, linear interpolation between the two nearest when enlarging.
std::vector<std::vector<std::pair<int, double>>> axis_weights(int from, int to) {
    std::vector<std::vector<std::pair<int, double>>> weights(static_cast<size_t>(to));
    double scale = static_cast<double>(from) / to;
    for (int o = 0; o < to; ++o) {
        auto& w = weights[static_cast<size_t>(o)];
        if (scale >= 1) {
            double start = o * scale, end = start + scale;
            for (int i = static_cast<int>(start); i < from && i < end; ++i) {
                double cover = std::min<double>(end, i + 1) - std::max<double>(start, i);
                if (cover > 0)
                    w.emplace_back(i, cover);
            }
        } else {
            double centre = (o + 0.5) * scale - 0.5;
            int left = static_cast<int>(std::floor(centre));
            double t = centre - left;
            w.emplace_back(std::clamp(left, 0, from - 1), 1 - t);
            w.emplace_back(std::clamp(left + 1, 0, from - 1), t);
        }
    }
    return weights;
}

}  // namespace

Image scale_image(const Image& image, int width, int height) {
    if (image.width == width && image.height == height)
        return image;
    Image out;
    if (width <= 0 || height <= 0 || image.width <= 0 || image.height <= 0)
        return out;
    out.width = width;
    out.height = height;
    out.pixels.resize(static_cast<size_t>(width) * height);
    auto columns = axis_weights(image.width, width);
    auto rows = axis_weights(image.height, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Weighted sum;
            double total = 0;
            for (auto [sy, wy] : rows[static_cast<size_t>(y)]) {
                for (auto [sx, wx] : columns[static_cast<size_t>(x)]) {
                    sum.add(image.pixels[static_cast<size_t>(sy) * image.width + sx], wx * wy);
                    total += wx * wy;
                }
            }
            out.pixels[static_cast<size_t>(y) * width + x] = total > 0 ? sum.pixel(total) : 0;
        }
    }
    return out;
}

}  // namespace quarnel
