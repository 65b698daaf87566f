#include "core/picture.h"

#include <gtest/gtest.h>

#include <string>

namespace quarnel {
namespace {

using namespace std::string_literals;

TEST(PictureKind, IsToldFromTheFirstBytesOnly) {
    struct Case {
        std::string bytes;
        PictureKind kind;
    } cases[] = {
        {"BM\0\0\0\0"s, PictureKind::kBmp},
        {"\xFF\xD8\xFF\xE0\0\0"s, PictureKind::kJpeg},
        {"\x89PNG\r\n"s, PictureKind::kPng},
        {"\0\0\1\0\1\0"s, PictureKind::kIcon},
        {"\0\0\2\0\3\0"s, PictureKind::kCursor},
        {"\0\0\1\0\0\0"s, PictureKind::kNone},  // an icon directory with no images
        {"\0\0\3\0\1\0"s, PictureKind::kNone},
        {"GIF89a"s, PictureKind::kGif},
        {"GIF87a"s, PictureKind::kGif},
        {"GIF88a"s, PictureKind::kNone},
        {"\x0A\x05\x01\x08\0\0"s, PictureKind::kPcx},
        {"\x0A\x03\x01\x01\0\0"s, PictureKind::kPcx},
        {"\x0A\x05\x01\x01\0\0"s, PictureKind::kNone},
        {"\x0A\x06\x01\x08\0\0"s, PictureKind::kNone},
        {"\x0A\x05\x00\x08\0\0"s, PictureKind::kNone},
        {"BM\0\0\0"s, PictureKind::kNone},  // five bytes or fewer is never a picture
        {""s, PictureKind::kNone},
        {"<html>"s, PictureKind::kNone},
    };
    for (const Case& c : cases)
        EXPECT_EQ(picture_kind(c.bytes), c.kind) << testing::PrintToString(c.bytes);
}

// A bitmap file with a 40-byte header: `bits` per pixel, `rows` given bottom row first unless
// `height` is negative, each row already padded, `extra` between header and pixels.
std::string bmp(int width,
                int height,
                int bits,
                const std::string& extra,
                const std::string& rows,
                uint32_t compression = 0) {
    auto u16 = [](uint32_t v) { return std::string{char(v), char(v >> 8)}; };
    auto u32 = [&](uint32_t v) { return u16(v & 0xFFFF) + u16(v >> 16); };
    std::string info = u32(40) + u32(static_cast<uint32_t>(width)) + u32(static_cast<uint32_t>(height)) + u16(1) +
                       u16(static_cast<uint32_t>(bits)) + u32(compression) + u32(0) + u32(0) + u32(0) + u32(0) + u32(0);
    uint32_t offset = static_cast<uint32_t>(14 + info.size() + extra.size());
    return "BM"s + u32(offset + static_cast<uint32_t>(rows.size())) + u32(0) + u32(offset) + info + extra + rows;
}

TEST(DecodeBmp, TwentyFourBitBottomUpAndTopDown) {
    // 2 x 2: bottom row blue, green; top row red, white. Rows padded to 8 bytes.
    std::string rows =
        "\xFF\0\0"
        "\0\xFF\0"
        "\0\0"s +
        "\0\0\xFF"
        "\xFF\xFF\xFF"
        "\0\0"s;
    auto image = decode_bmp(bmp(2, 2, 24, "", rows));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixels, (std::vector<uint32_t>{0xFFFF0000, 0xFFFFFFFF, 0xFF0000FF, 0xFF00FF00}));
    auto flipped = decode_bmp(bmp(2, -2, 24, "", rows));
    ASSERT_TRUE(flipped);
    EXPECT_EQ(flipped->pixels, (std::vector<uint32_t>{0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFFFFFFFF}));
}

TEST(DecodeBmp, PalettedAndBitFieldsWithAlpha) {
    std::string palette =
        "\0\0\0\0"
        "\0\0\xFF\0"s;  // black, red
    auto one_bit = decode_bmp(bmp(3, 1, 1, palette, "\xA0\0\0\0"s));
    ASSERT_TRUE(one_bit);
    EXPECT_EQ(one_bit->pixels, (std::vector<uint32_t>{0xFFFF0000, 0xFF000000, 0xFFFF0000}));

    std::string masks =
        "\0\0\xFF\0"
        "\0\xFF\0\0"
        "\xFF\0\0\0"
        "\0\0\0\xFF"s;  // R, G, B, A
    auto alpha = decode_bmp(bmp(1, 1, 32, masks, "\x10\x20\x30\x80"s, 6));
    ASSERT_TRUE(alpha);
    EXPECT_EQ(alpha->pixels, std::vector<uint32_t>{0x80302010});
    // An alpha channel of zeros everywhere is unused: the pixel is opaque.
    auto unused = decode_bmp(bmp(1, 1, 32, masks, "\x10\x20\x30\x00"s, 6));
    ASSERT_TRUE(unused);
    EXPECT_EQ(unused->pixels, std::vector<uint32_t>{0xFF302010});
}

TEST(DecodeBmp, RefusesDataItCannotReadWhole) {
    std::string good = bmp(2, 2, 24, "", std::string(16, '\x7F'));
    ASSERT_TRUE(decode_bmp(good));
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_FALSE(decode_bmp(good.substr(0, cut))) << cut;
    EXPECT_FALSE(decode_bmp(bmp(100000, 100000, 24, "", "")));  // claims far more than it holds
    EXPECT_FALSE(decode_bmp(bmp(0, 1, 24, "", "\0\0\0\0"s)));
    EXPECT_FALSE(decode_bmp(bmp(1, 1, 7, "", "\0\0\0\0"s)));
    EXPECT_FALSE(decode_bmp(bmp(1, 1, 8, "", "\0\0\0\0"s, 1)));  // run-length compressed
    EXPECT_FALSE(decode_bmp(bmp(1, 1, 8, "", "\0\0\0\0"s)));     // palette missing
}

}  // namespace
}  // namespace quarnel
