#include "core/gif_decode.h"
#include "core/pcx_decode.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace quarnel {
namespace {

using namespace std::string_literals;
using Pixels = std::vector<uint32_t>;

std::string u16(unsigned v) {
    return {char(v), char(v >> 8)};
}

// A palette in which index i is (i, 255 - i, 3i).
std::string ramp_palette() {
    std::string palette;
    for (int i = 0; i < 256; ++i)
        palette += {char(i), char(255 - i), char(i * 3)};
    return palette;
}

uint32_t ramp(uint32_t i) {
    return 0xFF000000u | i << 16 | (255 - i) << 8 | ((i * 3) & 0xFF);
}

// Packs pixel indices into GIF's LZW codes, least significant bit first: a clear code first,
// codes as wide as the decoder will read them, and once the table is full either a clear code
// (`clear_when_full`) or codes against the full table.
std::string lzw(const std::vector<int>& indices, int min_bits, bool clear_when_full) {
    const int clear = 1 << min_bits;
    std::string out;
    uint32_t buffer = 0;
    int count = 0, bits = min_bits + 1, decoder_next = clear + 2;
    bool fresh = true;  // the decoder adds no code for the first code after a clear
    auto put = [&](int code) {
        buffer |= uint32_t(code) << count;
        for (count += bits; count >= 8; count -= 8, buffer >>= 8)
            out += char(buffer);
        if (code == clear) {
            bits = min_bits + 1, decoder_next = clear + 2, fresh = true;
            return;
        }
        if (!fresh && decoder_next < 4096 && ++decoder_next == 1 << bits && bits < 12)
            ++bits;
        fresh = false;
    };
    std::map<std::pair<int, int>, int> table;
    int next = clear + 2;
    put(clear);
    int string = indices[0];
    for (size_t i = 1; i < indices.size(); ++i) {
        if (auto found = table.find({string, indices[i]}); found != table.end()) {
            string = found->second;
            continue;
        }
        put(string);
        if (next < 4096) {
            table[{string, indices[i]}] = next++;
        } else if (clear_when_full) {
            put(clear);
            table.clear();
            next = clear + 2;
        }
        string = indices[i];
    }
    put(string);
    put(clear + 1);
    if (count > 0)
        out += char(buffer);
    return out;
}

struct Gif {
    int screen_width, screen_height;
    std::string global;      // red, green, blue of 2, 4, ... 256 colours; empty for none
    std::string extensions;  // blocks before the image
    int left, top, width, height;
    std::string local;
    bool interlaced;
    std::vector<int> indices;  // top row first
    int min_bits = 2;
    bool clear_when_full = false;

    size_t header_size() const { return 13 + global.size() + extensions.size() + 10 + local.size() + 1; }

    std::string bytes() const {
        auto flags = [](const std::string& table) {
            int size = 0;
            while (table.size() > 3u << (size + 1))
                ++size;
            return char(table.empty() ? 0 : 0x80 | size);
        };
        std::vector<int> order;
        for (auto [start, step] : interlaced ? std::vector<std::pair<int, int>>{{0, 8}, {4, 8}, {2, 4}, {1, 2}}
                                             : std::vector<std::pair<int, int>>{{0, 1}})
            for (int y = start; y < height && size_t(y + 1) * width <= indices.size(); y += step)
                order.insert(order.end(), indices.begin() + y * width, indices.begin() + (y + 1) * width);
        std::string data = lzw(order, min_bits, clear_when_full);
        std::string out = "GIF89a" + u16(screen_width) + u16(screen_height) + flags(global) + "\0\0"s + global +
                          extensions + ',' + u16(left) + u16(top) + u16(width) + u16(height) +
                          char(flags(local) | (interlaced ? 0x40 : 0)) + local + char(min_bits);
        for (size_t at = 0; at < data.size(); at += 255)
            out += char(data.substr(at, 255).size()) + data.substr(at, 255);
        return out + "\0;"s;
    }
};

constexpr uint32_t R = 0xFFFF0000, G = 0xFF00FF00, B = 0xFF0000FF, W = 0xFFFFFFFF, K = 0xFF000000, T = 0;
const std::string kRgbw =
    "\xFF\0\0"
    "\0\xFF\0"
    "\0\0\xFF"
    "\xFF\xFF\xFF"s;
const std::string kBlackWhite =
    "\0\0\0"
    "\xFF\xFF\xFF"s;

TEST(DecodeGif, DrawsTheFirstFrameOnTheScreen) {
    std::string transparent_1 = "\x21\xF9\x04\x01\0\0\x01\0"s;
    std::string comment = "\x21\xFE\x02hi\0"s;
    struct Case {
        const char* name;
        Gif gif;
        Pixels expected;
    } cases[] = {
        {"global table", {2, 2, kRgbw, "", 0, 0, 2, 2, "", false, {0, 1, 2, 3}}, {R, G, B, W}},
        {"local table", {2, 2, kRgbw, comment, 0, 0, 2, 2, kBlackWhite, false, {1, 0, 0, 1}}, {W, K, K, W}},
        {"local table only", {2, 1, "", "", 0, 0, 2, 1, kBlackWhite, false, {0, 1}}, {K, W}},
        {"transparent index", {2, 2, kRgbw, transparent_1, 0, 0, 2, 2, "", false, {0, 1, 1, 2}}, {R, T, T, B}},
        {"interlaced",
         {1, 10, kRgbw, "", 0, 0, 1, 10, "", true, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1}},
         {R, G, B, W, R, G, B, W, R, G}},
        {"smaller frame", {3, 2, kRgbw, "", 1, 1, 2, 1, "", false, {3, 2}}, {T, T, T, T, W, B}},
        {"frame beyond the screen", {2, 2, kRgbw, "", 1, 0, 2, 2, "", false, {0, 1, 2, 3}}, {T, R, T, B}},
    };
    for (const Case& c : cases) {
        auto image = decode_gif(c.gif.bytes());
        ASSERT_TRUE(image) << c.name;
        EXPECT_EQ(image->width, c.gif.screen_width) << c.name;
        EXPECT_EQ(image->pixels, c.expected) << c.name;
    }
}

TEST(DecodeGif, EveryCodeSizeAndAFullTable) {
    for (int min_bits = 2; min_bits <= 8; ++min_bits) {
        for (bool clear_when_full : {false, true}) {
            Gif gif{128,
                    96,
                    ramp_palette().substr(0, 3u << min_bits),
                    "",
                    0,
                    0,
                    128,
                    96,
                    "",
                    false,
                    {},
                    min_bits,
                    clear_when_full};
            Pixels expected;
            for (uint32_t i = 0, seed = 1; i < 128 * 96; ++i) {
                seed = seed * 1103515245 + 12345;
                gif.indices.push_back(static_cast<int>((seed >> 16) % (1u << min_bits)));
                expected.push_back(ramp(uint32_t(gif.indices.back())));
            }
            std::string bytes = gif.bytes();
            if (min_bits == 8)  // more than 4096 codes of at most 12 bits
                EXPECT_GT(bytes.size(), 4096u * 12 / 8);
            auto image = decode_gif(bytes);
            ASSERT_TRUE(image) << min_bits;
            EXPECT_EQ(image->pixels, expected) << min_bits << " " << clear_when_full;
        }
    }
}

// Run-length encodes `raw` as a PCX file does, runs going on across scan lines.
std::string run_length(const std::string& raw) {
    std::string out;
    for (size_t at = 0, run; at < raw.size(); at += run) {
        for (run = 1; at + run < raw.size() && run < 63 && raw[at + run] == raw[at];)
            ++run;
        if (run > 1 || static_cast<unsigned char>(raw[at]) >= 0xC0)
            out += char(0xC0 | run);
        out += raw[at];
    }
    return out;
}

// A PCX file of the window (1, 2)-(1 + width - 1, 2 + height - 1), `lines` being the scan lines
// unencoded, and a 256-colour palette after them when one is given.
std::string pcx(int version,
                int bits,
                int planes,
                int width,
                int height,
                int bytes_per_line,
                const std::string& lines,
                const std::string& palette = "") {
    std::string header = "\x0A"s + char(version) + '\1' + char(bits) + u16(1) + u16(2) + u16(unsigned(width)) +
                         u16(unsigned(height + 1)) + std::string(53, '\0') + char(planes) +
                         u16(unsigned(bytes_per_line));
    header.resize(128, '\0');
    return header + run_length(lines) + (palette.empty() ? "" : '\x0C' + palette);
}

TEST(DecodePcx, EachKindItReads) {
    struct Case {
        const char* name;
        std::string bytes;
        int width;
        Pixels expected;
    } cases[] = {
        // 3 x 2 indices, each line padded to 4 bytes; 200 needs a run of one, being above 0xC0.
        {"256 colours",
         pcx(5, 8, 1, 3, 2, 4,
             "\1\2\xC8\0"
             "\7\7\7\0"s,
             ramp_palette()),
         3,
         {ramp(1), ramp(2), ramp(200), ramp(7), ramp(7), ramp(7)}},
        // 2 x 2 in red, green and blue planes of 3 bytes each per line.
        {"true colour",
         pcx(5, 8, 3, 2, 2, 3,
             "\xFF\0\0"
             "\0\xFF\0"
             "\x10\x20\0"
             "\0\0\0"
             "\0\0\0"
             "\xFF\x80\0"s),
         2,
         {0xFFFF0010, 0xFF00FF20, 0xFF0000FF, 0xFF000080}},
        // 10 x 2 bits, most significant first, in lines of 2 bytes.
        {"black and white",
         pcx(3, 1, 1, 10, 2, 2,
             "\xA5\x40"
             "\xFF\xC0"s),
         10,
         {W, K, W, K, K, W, K, W, K, W, W, W, W, W, W, W, W, W, W, W}},
    };
    for (const Case& c : cases) {
        auto image = decode_pcx(c.bytes);
        ASSERT_TRUE(image) << c.name;
        EXPECT_EQ(image->width, c.width) << c.name;
        EXPECT_EQ(image->pixels, c.expected) << c.name;
    }
}

using Decoder = std::optional<Image> (*)(std::string_view);

TEST(GifPcx, RefuseWhatTheyCannotDraw) {
    auto gif = [](auto change) {
        Gif gif{2, 1, kRgbw, "", 0, 0, 2, 1, "", false, {0, 1}};
        change(gif);
        return gif.bytes();
    };
    std::string line = "\0\0"s;
    struct Case {
        Decoder decode;
        std::string bytes;
    } cases[] = {
        {decode_gif, gif([](Gif& g) { g.min_bits = 12; })},
        {decode_gif, gif([](Gif& g) { g.min_bits = 1; })},
        {decode_gif, gif([](Gif& g) { g.global.clear(); })},
        {decode_gif, gif([](Gif& g) { g.screen_width = 0; })},
        {decode_gif, gif([](Gif& g) { g.screen_width = 4097; })},
        {decode_gif, gif([](Gif& g) { g.height = 4097; })},
        {decode_gif, gif([](Gif& g) { g.extensions = ";"; })},  // the trailer before any image
        {decode_gif, "GIF89a\2\0\1\0\0\0\0"s},
        {decode_pcx, pcx(5, 1, 1, 1, 1, 2, line)},                                 // one bit needs version 3
        {decode_pcx, pcx(5, 8, 2, 1, 1, 2, line + line)},                          // two planes
        {decode_pcx, pcx(5, 4, 1, 1, 1, 2, line)},                                 // four bits
        {decode_pcx, pcx(6, 8, 3, 1, 1, 2, line + line + line)},                   // a version above 5
        {decode_pcx, pcx(5, 8, 3, 0, 1, 2, line + line + line)},                   // no columns
        {decode_pcx, pcx(5, 8, 3, 4097, 1, 4098, line)},                           // too wide
        {decode_pcx, pcx(5, 8, 3, 3, 1, 2, line + line + line)},                   // lines shorter than the width
        {decode_pcx, pcx(5, 8, 1, 1, 1, 2, line)},                                 // no palette
        {decode_pcx, pcx(5, 8, 1, 1, 1, 2, line, ramp_palette()).substr(0, 127)},  // the header cut short
    };
    for (const Case& c : cases)
        EXPECT_FALSE(c.decode(c.bytes)) << testing::PrintToString(c.bytes.substr(0, 16));
}

// Every cut of a whole file gives nothing when it ends before `whole_from`, else an image of the
// whole one's size whose pixels are each the whole one's or transparent; every damaged byte gives
// nothing or an image of the size it claims.
void expect_cuts_and_damage_are_safe(const char* name, const std::string& bytes, size_t whole_from, Decoder decode) {
    auto whole = decode(bytes);
    ASSERT_TRUE(whole) << name;
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        auto part = decode(std::string_view(bytes).substr(0, cut));
        ASSERT_EQ(part.has_value(), cut >= whole_from) << name << " cut at " << cut;
        if (!part)
            continue;
        ASSERT_EQ(part->width, whole->width);
        ASSERT_EQ(part->pixels.size(), whole->pixels.size());
        for (size_t i = 0; i < part->pixels.size(); ++i)
            ASSERT_TRUE(part->pixels[i] == whole->pixels[i] || part->pixels[i] == 0) << name << " cut at " << cut;
    }
    for (size_t at = 0; at < bytes.size(); ++at) {
        for (char flip : {'\x01', '\x80', '\xFF'}) {
            std::string damaged = bytes;
            damaged[at] ^= flip;
            if (auto image = decode(damaged))
                ASSERT_EQ(image->pixels.size(), size_t(image->width) * size_t(image->height)) << name << " at " << at;
        }
    }
}

TEST(GifPcx, CutOrDamagedFilesGiveNothingOrAPartialImage) {
    Gif interlaced{3, 5, kRgbw, "", 0, 0, 3, 5, "", true, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2}};
    Gif local{4, 3, kRgbw, "\x21\xF9\x04\x01\0\0\x02\0"s, 1, 1, 3, 2, kRgbw, false, {0, 1, 2, 3, 2, 1}};
    expect_cuts_and_damage_are_safe("interlaced gif", interlaced.bytes(), interlaced.header_size(), decode_gif);
    expect_cuts_and_damage_are_safe("gif with local table", local.bytes(), local.header_size(), decode_gif);

    std::string grey(60, '\0');
    for (size_t i = 0; i < grey.size(); ++i)
        grey[i] = char(i % 5 == 0 ? 0xD0 : 0x30 + i / 4);
    // A cut loses the palette at the end, so only the whole file gives an image.
    std::string paletted = pcx(5, 8, 1, 5, 6, 10, grey, ramp_palette());
    expect_cuts_and_damage_are_safe("256-colour pcx", paletted, paletted.size(), decode_pcx);
    expect_cuts_and_damage_are_safe("true colour pcx", pcx(5, 8, 3, 3, 5, 4, grey), 128, decode_pcx);
    expect_cuts_and_damage_are_safe("black and white pcx", pcx(3, 1, 1, 20, 20, 3, grey), 128, decode_pcx);
}

}  // namespace
}  // namespace quarnel
