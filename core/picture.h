#pragma once

// Pictures given as raw bytes: what kind of image they hold, told from the first bytes only, and
// decoders to 32-bit pixels. Every decoder checks the data's own sizes against its length and
// gives nothing for data it cannot read whole.

#include <cstddef>
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
// The largest width or height a decoder accepts.
inline constexpr int64_t kMaxImageSide = 4096;

// A Windows bitmap file ("BM"): 1, 4, 8, 16, 24 and 32 bits per pixel, uncompressed or with bit
// fields, bottom-up or top-down, and run-length encoded 4- and 8-bit bitmaps.
std::optional<Image> decode_bmp(std::string_view bytes);

// A device-independent bitmap whose header starts at `header_at`, its pixels at `pixel_offset`
// (0: right after the header and palette). In `icon` form the header's height counts the colour
// rows and the AND mask rows; 32-bit pixels carry alpha, and without alpha the mask makes
// pixels transparent.
std::optional<Image> decode_dib(std::string_view bytes, size_t header_at, size_t pixel_offset, bool icon);

// PNG (libpng): every colour type and bit depth, interlaced, palettes with transparency.
std::optional<Image> decode_png(std::string_view bytes);

// JPEG (libjpeg): grey, YCbCr, RGB, CMYK and YCCK (Adobe's inverted form too), progressive.
std::optional<Image> decode_jpeg(std::string_view bytes);
// The same into `image`, whose pixels' storage is used again (the browser view's pictures come
// many a second at one size); false when nothing could be decoded, `image` then undefined.
bool decode_jpeg_into(std::string_view bytes, Image& image);

// ICO and CUR: the entry closest to 16 x 16 (an exact 16 x 16, else the smallest larger one,
// else the largest) at the deepest colour among those of that size; bitmap entries with their
// mask, PNG entries through decode_png. An entry that cannot be decoded gives way to the next
// best.
std::optional<Image> decode_icon(std::string_view bytes);

// The picture in `bytes`, its kind told from the first bytes (BMP, PNG, JPEG, ICO, CUR, GIF,
// PCX), in 32-bit pixels with straight alpha; nothing when it is not a picture.
std::optional<Image> decode_picture(std::string_view bytes);

// The image's pixels made opaque over a background colour (0xRRGGBB), each 0x00RRGGBB, so a
// picture can be drawn with a plain copy.
std::vector<uint32_t> blend_over_background(const Image& image, uint32_t background);

// The image scaled to a size smoothly: each output pixel averages the area of the image it
// covers when shrinking, and is interpolated between its neighbours when enlarging; colours are
// weighted by their alpha, so transparent pixels do not darken the edges.
Image scale_image(const Image& image, int width, int height);

}  // namespace quarnel
