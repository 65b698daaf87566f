#include "core/gif_decode.h"

#include "core/le_bytes.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace quarnel {

namespace {

constexpr int kMaxCodes = 4096;  // codes are at most 12 bits wide
constexpr int kMaxCodeBits = 12;

// The offset just past the data sub-blocks that start at `at` (past their zero terminator), or
// npos when the bytes end first.
size_t skip_sub_blocks(std::string_view b, size_t at) {
    while (at < b.size()) {
        size_t length = byte_at(b, at++);
        if (length == 0)
            return at;
        if (length > b.size() - at)
            break;
        at += length;
    }
    return std::string_view::npos;
}

// The data of the sub-blocks that start at `at`, joined; as much as there is when the bytes end
// before the terminator.
std::string join_sub_blocks(std::string_view b, size_t at) {
    std::string data;
    while (at < b.size()) {
        size_t length = byte_at(b, at++);
        if (length == 0)
            break;
        data += b.substr(at, length);
        at += length;
    }
    return data;
}

// LZW codes packed least significant bit first.
class CodeReader {
public:
    explicit CodeReader(std::string_view data) : data_(data) {}

    // The next code `bits` wide, or -1 when the data runs out.
    int read(int bits) {
        while (count_ < bits) {
            if (at_ >= data_.size())
                return -1;
            buffer_ |= byte_at(data_, at_++) << count_;
            count_ += 8;
        }
        int code = static_cast<int>(buffer_ & ((1u << bits) - 1));
        buffer_ >>= bits;
        count_ -= bits;
        return code;
    }

private:
    std::string_view data_;
    size_t at_ = 0;
    uint32_t buffer_ = 0;
    int count_ = 0;
};

// Where the frame lies on the screen, and whether its rows come interlaced.
struct Frame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
};

// Puts the frame's pixels, in the order they are decoded, at their place on the screen: rows in
// order, or for an interlaced frame in four passes (every 8th row from 0, every 8th from 4, every
// 4th from 2, every 2nd from 1). Pixels beyond the screen's edges are dropped.
class FrameWriter {
public:
    FrameWriter(Image& image, const std::vector<uint32_t>& colours, Frame frame)
        : image_(image), colours_(colours), frame_(frame) {}

    bool done() const { return row_ >= frame_.height; }

    // `index` is below the clear code, and the colours cover every such index.
    void put(unsigned index) {
        int x = frame_.left + column_, y = frame_.top + row_;
        if (x < image_.width && y < image_.height)
            image_.pixels[static_cast<size_t>(y) * static_cast<size_t>(image_.width) + static_cast<size_t>(x)] =
                colours_[index];
        if (++column_ == frame_.width) {
            column_ = 0;
            next_row();
        }
    }

private:
    void next_row() {
        if (!frame_.interlaced) {
            ++row_;
            return;
        }
        static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
        row_ += kStep[pass_];
        while (row_ >= frame_.height && pass_ < 3)
            row_ = kStart[++pass_];
    }

    Image& image_;
    const std::vector<uint32_t>& colours_;
    Frame frame_;
    int column_ = 0, row_ = 0, pass_ = 0;
};

// Decodes the LZW stream into `out` until the frame is full, the end code comes, the data runs
// out or a code is one the table cannot have yet. Once the table holds 4096 codes it stays as it
// is, and codes stay 12 bits wide, until a clear code.
void decode_lzw(std::string_view data, int min_code_bits, FrameWriter& out) {
    const int clear = 1 << min_code_bits, end = clear + 1;
    // Each code is a string: the string of `prefix` followed by `suffix`. Codes below the clear
    // code are single pixels. `first` is each string's first pixel.
    uint16_t prefix[kMaxCodes], suffix[kMaxCodes], first[kMaxCodes];
    for (int c = 0; c < clear; ++c)
        suffix[c] = first[c] = static_cast<uint16_t>(c);
    uint16_t stack[kMaxCodes];

    CodeReader reader(data);
    int bits = min_code_bits + 1, next = end + 1, previous = -1;
    while (!out.done()) {
        int code = reader.read(bits);
        if (code < 0 || code == end)
            return;
        if (code == clear) {
            bits = min_code_bits + 1, next = end + 1, previous = -1;
            continue;
        }
        if (code > next || (code == next && previous < 0))
            return;
        if (previous >= 0 && next < kMaxCodes) {
            // The new code is the previous string and the first pixel of this one; when this
            // code is the new one itself, that pixel is the previous string's first.
            prefix[next] = static_cast<uint16_t>(previous);
            first[next] = first[previous];
            suffix[next] = first[code];
            if (++next == 1 << bits && bits < kMaxCodeBits)
                ++bits;
        }
        // A string's pixels come out last first along its prefixes.
        int count = 0;
        for (int c = code;; c = prefix[c]) {
            stack[count++] = suffix[c];
            if (c < clear)
                break;
        }
        while (count > 0 && !out.done())
            out.put(stack[--count]);
        previous = code;
    }
}

}  // namespace

std::optional<Image> decode_gif(std::string_view b) {
    enum : unsigned { kHasTable = 0x80, kInterlaced = 0x40, kTransparent = 0x01 };
    enum : unsigned { kExtension = 0x21, kImage = 0x2C, kGraphicControl = 0xF9 };
    if (b.size() < 13 || (b.substr(0, 6) != "GIF87a" && b.substr(0, 6) != "GIF89a"))
        return std::nullopt;
    int screen_width = static_cast<int>(read_u16(b, 6)), screen_height = static_cast<int>(read_u16(b, 8));
    if (screen_width == 0 || screen_height == 0 || screen_width > kMaxImageSide || screen_height > kMaxImageSide ||
        int64_t{screen_width} * screen_height > kMaxImagePixels)
        return std::nullopt;
    size_t at = 13;
    // A colour table of 2 to 256 entries, three bytes each, after a block whose flags say so.
    auto read_table = [&](unsigned flags, std::string_view& table) {
        if (!(flags & kHasTable))
            return true;
        size_t length = size_t(3) << ((flags & 7) + 1);
        if (length > b.size() - at)
            return false;
        table = b.substr(at, length);
        at += length;
        return true;
    };
    std::string_view global_table;
    if (!read_table(byte_at(b, 10), global_table))
        return std::nullopt;

    // Extensions until the first image; the last Graphic Control Extension before it applies.
    int transparent = -1;
    for (;;) {
        if (at + 2 > b.size())
            return std::nullopt;
        unsigned block = byte_at(b, at++);
        if (block == kImage)
            break;
        if (block != kExtension)  // the trailer, or bytes that are no block: no image
            return std::nullopt;
        unsigned label = byte_at(b, at++);
        if (label == kGraphicControl && at + 5 <= b.size() && byte_at(b, at) >= 4)
            transparent = byte_at(b, at + 1) & kTransparent ? static_cast<int>(byte_at(b, at + 4)) : -1;
        at = skip_sub_blocks(b, at);
        if (at == std::string_view::npos)
            return std::nullopt;
    }

    if (b.size() - at < 9)
        return std::nullopt;
    unsigned flags = byte_at(b, at + 8);
    Frame frame{static_cast<int>(read_u16(b, at)), static_cast<int>(read_u16(b, at + 2)),
                static_cast<int>(read_u16(b, at + 4)), static_cast<int>(read_u16(b, at + 6)),
                (flags & kInterlaced) != 0};
    at += 9;
    if (frame.width == 0 || frame.height == 0 || frame.width > kMaxImageSide || frame.height > kMaxImageSide)
        return std::nullopt;
    std::string_view table = global_table;
    if (!read_table(flags, table) || table.empty() || at >= b.size())
        return std::nullopt;
    int min_code_bits = static_cast<int>(byte_at(b, at++));
    if (min_code_bits < 2 || min_code_bits > kMaxCodeBits - 1)
        return std::nullopt;

    // A colour for every index a pixel can have; those beyond the table are black.
    std::vector<uint32_t> colours(std::max(table.size() / 3, size_t(1) << min_code_bits), 0xFF000000u);
    for (size_t i = 0; i < table.size() / 3; ++i)
        colours[i] |= byte_at(table, 3 * i) << 16 | byte_at(table, 3 * i + 1) << 8 | byte_at(table, 3 * i + 2);
    if (transparent >= 0 && static_cast<size_t>(transparent) < colours.size())
        colours[static_cast<size_t>(transparent)] = 0;

    Image image;
    image.width = screen_width;
    image.height = screen_height;
    image.pixels.assign(static_cast<size_t>(screen_width) * static_cast<size_t>(screen_height), 0);
    FrameWriter out(image, colours, frame);
    decode_lzw(join_sub_blocks(b, at), min_code_bits, out);
    return image;
}

}  // namespace quarnel
