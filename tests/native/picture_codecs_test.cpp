// PNG, JPEG, ICO and run-length BMP decoding, and scaling, against images the tests encode from
// known pixels (libpng and libjpeg write them; icons are put together here).

#include "core/picture.h"

#include <gtest/gtest.h>

#include <png.h>

#include <cstdio>
#include <jpeglib.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace quarnel {
namespace {

using namespace std::string_literals;

// A PNG of `width` x `height` from 16-bit samples, `channels` per pixel in the file's order.
std::string write_png(int width,
                      int height,
                      int colour,
                      int depth,
                      bool interlaced,
                      const std::vector<unsigned>& samples,
                      const std::vector<png_color>& palette = {},
                      const std::vector<png_byte>& trns = {}) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, size_t n) {
            static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data), n);
        },
        nullptr);
    png_set_IHDR(png, info, width, height, depth, colour, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!trns.empty())
        png_set_tRNS(png, info, trns.data(), static_cast<int>(trns.size()), nullptr);
    png_write_info(png, info);
    int channels = static_cast<int>(samples.size()) / (width * height);
    std::vector<std::vector<png_byte>> rows(static_cast<size_t>(height));
    std::vector<png_bytep> pointers;
    for (int y = 0; y < height; ++y) {
        auto& row = rows[static_cast<size_t>(y)];
        row.assign(png_get_rowbytes(png, info), 0);
        for (int i = 0; i < width * channels; ++i) {
            unsigned v = samples[static_cast<size_t>(y * width * channels + i)];
            if (depth == 16) {
                row[static_cast<size_t>(2 * i)] = static_cast<png_byte>(v >> 8);
                row[static_cast<size_t>(2 * i + 1)] = static_cast<png_byte>(v);
            } else {
                int bit = i * depth;
                row[static_cast<size_t>(bit / 8)] |= static_cast<png_byte>(v << (8 - depth - bit % 8));
            }
        }
        pointers.push_back(row.data());
    }
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

TEST(DecodePng, EveryColourTypeAndDepthGivesTheKnownPixels) {
    // 3 x 2 pixels, each case's samples and the straight-alpha pixels it must give.
    std::vector<png_color> palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 8, 7}};
    struct Case {
        const char* what;
        int colour, depth;
        std::vector<unsigned> samples;
        std::vector<uint32_t> pixels;
        std::vector<png_byte> trns;
    } cases[] = {
        {"grey 1",
         PNG_COLOR_TYPE_GRAY,
         1,
         {0, 1, 0, 1, 1, 0},
         {0xFF000000, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000},
         {}},
        {"grey 2",
         PNG_COLOR_TYPE_GRAY,
         2,
         {0, 1, 2, 3, 0, 3},
         {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF},
         {}},
        {"grey 4",
         PNG_COLOR_TYPE_GRAY,
         4,
         {0, 1, 15, 8, 2, 3},
         {0xFF000000, 0xFF111111, 0xFFFFFFFF, 0xFF888888, 0xFF222222, 0xFF333333},
         {}},
        {"grey 16",
         PNG_COLOR_TYPE_GRAY,
         16,
         {0, 257 * 16, 65535, 257 * 128, 257, 257 * 3},
         {0xFF000000, 0xFF101010, 0xFFFFFFFF, 0xFF808080, 0xFF010101, 0xFF030303},
         {}},
        {"grey and alpha 8",
         PNG_COLOR_TYPE_GRAY_ALPHA,
         8,
         {10, 0, 20, 128, 30, 255, 40, 1, 50, 2, 60, 3},
         {0x000A0A0A, 0x80141414, 0xFF1E1E1E, 0x01282828, 0x02323232, 0x033C3C3C},
         {}},
        {"RGB 8",
         PNG_COLOR_TYPE_RGB,
         8,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18},
         {0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C, 0xFF0D0E0F, 0xFF101112},
         {}},
        {"RGBA 16",
         PNG_COLOR_TYPE_RGBA,
         16,
         {257, 514,   771, 65535, 0, 0, 0,     0,     65535,   0,       0,       257 * 64,
          0,   65535, 0,   65535, 0, 0, 65535, 65535, 257 * 9, 257 * 8, 257 * 7, 257 * 6},
         {0xFF010203, 0x00000000, 0x40FF0000, 0xFF00FF00, 0xFF0000FF, 0x06090807},
         {}},
        {"palette 2 with transparency",
         PNG_COLOR_TYPE_PALETTE,
         2,
         {0, 1, 2, 3, 0, 1},
         {0x80FF0000, 0x0000FF00, 0xFF0000FF, 0xFF090807, 0x80FF0000, 0x0000FF00},
         {128, 0}},
        {"palette 8",
         PNG_COLOR_TYPE_PALETTE,
         8,
         {3, 2, 1, 0, 3, 3},
         {0xFF090807, 0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF090807, 0xFF090807},
         {}},
    };
    for (const Case& c : cases) {
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (interlaced ? ", interlaced" : ""));
            std::string file =
                write_png(3, 2, c.colour, c.depth, interlaced, c.samples,
                          c.colour == PNG_COLOR_TYPE_PALETTE ? palette : std::vector<png_color>{}, c.trns);
            std::optional<Image> image = decode_picture(file);
            ASSERT_TRUE(image);
            EXPECT_EQ(image->width, 3);
            EXPECT_EQ(image->height, 2);
            EXPECT_EQ(image->pixels, c.pixels);
        }
    }
}

// A JPEG of one flat colour, so the lossy coding gives it back within a step or two.
std::string write_jpeg(int width,
                       int height,
                       J_COLOR_SPACE space,
                       const std::vector<unsigned char>& pixel,
                       bool progressive) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = static_cast<int>(pixel.size());
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    if (progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row;
    for (int x = 0; x < width; ++x)
        row.insert(row.end(), pixel.begin(), pixel.end());
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::string out(reinterpret_cast<char*>(buffer), size);
    jpeg_destroy_compress(&info);
    free(buffer);
    return out;
}

TEST(DecodeJpeg, GreyColourAndCmykProgressiveOrNot) {
    struct Case {
        const char* what;
        J_COLOR_SPACE space;
        std::vector<unsigned char> pixel;
        uint32_t expected;
    } cases[] = {
        {"grey", JCS_GRAYSCALE, {200}, 0xFFC8C8C8},
        {"YCbCr from RGB", JCS_RGB, {200, 100, 50}, 0xFFC86432},
        // libjpeg marks CMYK files as Adobe's, whose values are inverted: 255 is no ink. Red is
        // full magenta and yellow.
        {"Adobe CMYK", JCS_CMYK, {255, 0, 0, 255}, 0xFFFF0000},
    };
    for (const Case& c : cases) {
        for (bool progressive : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (progressive ? ", progressive" : ""));
            std::optional<Image> image = decode_picture(write_jpeg(48, 48, c.space, c.pixel, progressive));
            ASSERT_TRUE(image);
            ASSERT_EQ(image->width, 48);
            for (int shift : {0, 8, 16})
                EXPECT_NEAR(int(image->pixels[100] >> shift & 0xFF), int(c.expected >> shift & 0xFF), 3);
            EXPECT_EQ(image->pixels[100] >> 24, 0xFFu);
        }
    }
}

std::string le16(uint32_t v) {
    return {char(v), char(v >> 8)};
}
std::string le32(uint32_t v) {
    return le16(v & 0xFFFF) + le16(v >> 16);
}

// A bitmap icon entry: a 40-byte header of doubled height, `bits` per pixel, every pixel the
// same colour row bytes, and an AND mask with the left column transparent.
std::string icon_bitmap(int size, int bits, uint32_t colour, bool alpha_zero = false) {
    std::string header = le32(40) + le32(size) + le32(size * 2) + le16(1) + le16(bits) + le32(0) + le32(0) + le32(0) +
                         le32(0) + le32(0) + le32(0);
    std::string palette = bits == 8 ? le32(colour & 0xFFFFFF) + std::string(255 * 4, '\0') : "";
    int row_bytes = ((size * bits + 31) / 32) * 4;
    std::string row(static_cast<size_t>(row_bytes), '\0');
    for (int x = 0; x < size; ++x) {
        if (bits == 32)
            row.replace(static_cast<size_t>(4 * x), 4, le32(alpha_zero ? colour & 0xFFFFFF : colour));
        else if (bits == 24)
            row.replace(static_cast<size_t>(3 * x), 3, le32(colour).substr(0, 3));
    }
    std::string rows;
    for (int y = 0; y < size; ++y)
        rows += row;
    int mask_bytes = ((size + 31) / 32) * 4;
    std::string mask_row(static_cast<size_t>(mask_bytes), '\0');
    mask_row[0] = '\x80';
    for (int y = 0; y < size; ++y)
        rows += mask_row;
    return header + palette + rows;
}

std::string icon_file(const std::vector<std::pair<std::string, int>>& entries, int type = 1) {
    std::string directory = le16(0) + le16(type) + le16(static_cast<uint32_t>(entries.size()));
    std::string data;
    size_t offset = 6 + 16 * entries.size();
    for (const auto& [bytes, size] : entries) {
        directory += std::string{char(size == 256 ? 0 : size), char(size == 256 ? 0 : size), 0, 0} + le16(1) + le16(0) +
                     le32(static_cast<uint32_t>(bytes.size())) + le32(static_cast<uint32_t>(offset + data.size()));
        data += bytes;
    }
    return directory + data;
}

TEST(DecodeIcon, PicksTheEntryClosestToSixteenAtTheDeepestColourAndAppliesTheMask) {
    std::string png16 = write_png(16, 16, PNG_COLOR_TYPE_RGBA, 8, false, std::vector<unsigned>(16 * 16 * 4, 77));
    struct Case {
        const char* what;
        std::string file;
        int width;
        uint32_t left, right;  // pixels (0, 0) and (1, 0)
    } cases[] = {
        {"exact 16 wins over 32 and 48",
         icon_file({{icon_bitmap(32, 24, 0x111111), 32},
                    {icon_bitmap(16, 24, 0x222222), 16},
                    {icon_bitmap(48, 24, 0x333333), 48}}),
         16, 0x00222222, 0xFF222222},
        {"the deepest colour among 16 x 16 entries",
         icon_file({{icon_bitmap(16, 8, 0x444444), 16},
                    {icon_bitmap(16, 32, 0x80555555), 16},
                    {icon_bitmap(16, 24, 0x666666), 16}}),
         16, 0x80555555, 0x80555555},
        {"the smallest larger one without a 16",
         icon_file({{icon_bitmap(48, 24, 0x111111), 48},
                    {icon_bitmap(8, 24, 0x222222), 8},
                    {icon_bitmap(32, 24, 0x333333), 32}}),
         32, 0x00333333, 0xFF333333},
        {"the largest when all are smaller",
         icon_file({{icon_bitmap(8, 24, 0x111111), 8}, {icon_bitmap(12, 24, 0x222222), 12}}), 12, 0x00222222,
         0xFF222222},
        {"an all-zero alpha uses the mask", icon_file({{icon_bitmap(16, 32, 0x777777, true), 16}}), 16, 0x00777777,
         0xFF777777},
        {"a PNG entry", icon_file({{icon_bitmap(32, 24, 0x111111), 32}, {png16, 16}}), 16, 0x4D4D4D4D, 0x4D4D4D4D},
        {"a cursor", icon_file({{icon_bitmap(16, 24, 0x888888), 16}}, 2), 16, 0x00888888, 0xFF888888},
        {"a broken best entry gives way to the next",
         icon_file({{icon_bitmap(16, 24, 0x999999).substr(0, 60), 16}, {icon_bitmap(32, 24, 0xAAAAAA), 32}}), 32,
         0x00AAAAAA, 0xFFAAAAAA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<Image> image = decode_picture(c.file);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, c.width);
        EXPECT_EQ(image->pixels[0], c.left);
        EXPECT_EQ(image->pixels[1], c.right);
    }
}

TEST(DecodeBmp, RunLengthEncodedEightAndFourBit) {
    std::string palette = le32(0x000000) + le32(0xFF0000) + le32(0x00FF00) + le32(0x0000FF);
    auto rle_bmp = [&](int bits, const std::string& data) {
        std::string info = le32(40) + le32(4) + le32(2) + le16(1) + le16(bits) + le32(bits == 8 ? 1 : 2) + le32(0) +
                           le32(0) + le32(0) + le32(4) + le32(0);
        uint32_t offset = static_cast<uint32_t>(14 + info.size() + palette.size());
        return "BM"s + le32(offset + static_cast<uint32_t>(data.size())) + le32(0) + le32(offset) + info + palette +
               data;
    };
    const uint32_t k = 0xFF000000, r = 0xFFFF0000, g = 0xFF00FF00, b = 0xFF0000FF;
    struct Case {
        const char* what;
        std::string file;
        std::vector<uint32_t> pixels;  // top row first
    } cases[] = {
        // Bottom row: a run of one red, a literal red, green, blue (padded); then the top row: a
        // delta right by two, one blue; the end.
        {"8-bit runs, literals and a delta",
         rle_bmp(8,
                 "\x01\x01"
                 "\x00\x03\x01\x02\x03\x00"
                 "\x00\x00"
                 "\x00\x02\x02\x00"
                 "\x01\x03"
                 "\x00\x01"s),
         {0, 0, b, 0, r, r, g, b}},
        // Bottom row: four pixels alternating red and green; top row: a literal of blue, black,
        // red; the end of the data without an end marker.
        {"4-bit runs and literals",
         rle_bmp(4,
                 "\x04\x12"
                 "\x00\x00"
                 "\x00\x03\x30\x10"s),
         {b, k, r, 0, r, g, r, g}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<Image> image = decode_picture(c.file);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->pixels, c.pixels);
    }
}

TEST(DecodePicture, CutAndCorruptedDataNeverReadsOutsideAndHugeClaimsAreRefused) {
    std::vector<std::string> files = {
        write_png(20, 20, PNG_COLOR_TYPE_RGB, 8, false, std::vector<unsigned>(20 * 20 * 3, 9)),
        write_png(20, 20, PNG_COLOR_TYPE_RGB, 8, true, std::vector<unsigned>(20 * 20 * 3, 9)),
        write_jpeg(24, 24, JCS_RGB, {1, 2, 3}, true),
        icon_file({{icon_bitmap(16, 24, 0x123456), 16}}),
    };
    for (const std::string& file : files) {
        for (size_t cut = 0; cut < file.size(); cut += 7) {
            std::optional<Image> image = decode_picture(file.substr(0, cut));
            if (image)
                EXPECT_EQ(image->pixels.size(), size_t(image->width) * image->height);
        }
        for (size_t at = 8; at < file.size(); at += 5) {
            std::string bad = file;
            bad[at] = static_cast<char>(bad[at] ^ 0x5A);
            decode_picture(bad);
        }
    }
    // Headers claiming 5000 x 5000 or millions of pixels from a few bytes.
    std::string huge_png = write_png(1, 1, PNG_COLOR_TYPE_GRAY, 8, false, {0});
    huge_png.replace(16, 8, "\0\0\x13\x88\0\0\x13\x88"s);
    EXPECT_FALSE(decode_picture(huge_png));
    std::string tall_rle = "BM"s + le32(70) + le32(0) + le32(62) + le32(40) + le32(4000) + le32(4000) + le16(1) +
                           le16(8) + le32(1) + std::string(20, '\0') + le32(0) + "\0\0\0\0\x00\x01\x00\x00"s;
    EXPECT_FALSE(decode_picture(tall_rle));
}

TEST(ScaleImage, ShrinksByAveragingAreasWeightedByAlphaAndEnlargesSmoothly) {
    // 32 x 32 of 2 x 2 blocks: opaque red and transparent (black) in a checkerboard: each output
    // pixel of the half size covers one block.
    Image checker{32, 32, std::vector<uint32_t>(32 * 32)};
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            checker.pixels[static_cast<size_t>(y * 32 + x)] = ((x / 2 + y / 2) % 2) ? 0xFFFF0000 : 0;
    Image half = scale_image(checker, 16, 16);
    EXPECT_EQ(half.pixels[0], 0u);
    EXPECT_EQ(half.pixels[1], 0xFFFF0000u);
    // A quarter of the size mixes two opaque and two transparent blocks: half alpha, still red.
    Image quarter = scale_image(checker, 8, 8);
    EXPECT_EQ(quarter.pixels[0], 0x80FF0000u);

    Image two{2, 1, {0xFF000000, 0xFFFFFFFF}};
    Image wide = scale_image(two, 8, 1);
    EXPECT_EQ(wide.pixels[0], 0xFF000000u);
    EXPECT_EQ(wide.pixels[7], 0xFFFFFFFFu);
    for (size_t i = 1; i < wide.pixels.size(); ++i)
        EXPECT_GE(wide.pixels[i] & 0xFF, wide.pixels[i - 1] & 0xFF);  // a ramp, not two blocks
    EXPECT_NE(wide.pixels[3] & 0xFF, 0u);
    EXPECT_NE(wide.pixels[3] & 0xFF, 0xFFu);
}

}  // namespace
}  // namespace quarnel
