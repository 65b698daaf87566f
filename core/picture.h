#pragma once

// Pictures given as raw bytes: what kind of image they hold, told from the first bytes only, and
// decoders to 32-bit pixels. Every decoder checks the data's own sizes against its length and
// gives nothing for data it cannot read whole.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace quarnel {

enum class PictureKind { kNone, kBmp, kJpeg, kPng, kIcon, kCursor, kGif, kPcx };

PictureKind picture_kind(std::string_view bytes);

// Pixels top row first, each 0xAARRGGBB (straight, not premultiplied alpha).
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// The largest image a decoder accepts, in pixels: far beyond any site icon, small enough that a
// hostile header cannot make the program allocate gigabytes.
inline constexpr int64_t kMaxImagePixels = 16 * 1024 * 1024;

// A Windows bitmap file ("BM"): 1, 4, 8, 16, 24 and 32 bits per pixel, uncompressed or with bit
// fields, bottom-up or top-down. Run-length compressed bitmaps give nothing.
std::optional<Image> decode_bmp(std::string_view bytes);

// The picture in `bytes`, its kind told from the first bytes; nothing when it is no picture or
// one of a kind not decoded.
std::optional<Image> decode_picture(std::string_view bytes);

// The image's pixels made opaque over a background colour (0xRRGGBB), each 0x00RRGGBB, so a
// picture can be drawn with a plain copy.
std::vector<uint32_t> blend_over_background(const Image& image, uint32_t background);

}  // namespace quarnel
