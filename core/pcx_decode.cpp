#include "core/pcx_decode.h"

#include "core/le_bytes.h"

#include <cstdint>
#include <vector>

namespace quarnel {

namespace {

constexpr size_t kHeaderSize = 128;
constexpr size_t kPaletteSize = 1 + 256 * 3;  // the marker 0x0C, then the colours

// The bytes of a run-length encoded stream: a byte with both top bits set repeats the byte after
// it (its low six bits) times; any other byte stands for itself. Runs may go on across scan
// lines.
class RunLengthReader {
public:
    explicit RunLengthReader(std::string_view data) : data_(data) {}

    // Fills `out` from the stream; false when the stream ends first.
    bool fill(std::vector<unsigned char>& out) {
        for (unsigned char& byte : out) {
            while (run_ == 0) {  // every pass reads at least one byte, so it ends with the data
                if (at_ >= data_.size())
                    return false;
                unsigned c = byte_at(data_, at_++);
                if ((c & 0xC0) != 0xC0) {
                    run_ = 1, value_ = static_cast<unsigned char>(c);
                } else {
                    if (at_ >= data_.size())
                        return false;
                    run_ = c & 0x3F, value_ = static_cast<unsigned char>(byte_at(data_, at_++));
                }
            }
            byte = value_;
            --run_;
        }
        return true;
    }

private:
    std::string_view data_;
    size_t at_ = 0;
    unsigned run_ = 0;
    unsigned char value_ = 0;
};

}  // namespace

std::optional<Image> decode_pcx(std::string_view b) {
    if (b.size() < kHeaderSize || byte_at(b, 0) != 0x0A || byte_at(b, 2) != 1)
        return std::nullopt;
    unsigned version = byte_at(b, 1), bits = byte_at(b, 3), planes = byte_at(b, 65);
    bool paletted = version <= 5 && bits == 8 && planes == 1;
    bool true_colour = version <= 5 && bits == 8 && planes == 3;
    bool black_and_white = version == 3 && bits == 1 && planes == 1;
    if (!paletted && !true_colour && !black_and_white)
        return std::nullopt;

    // The window's corners are inclusive.
    int64_t width = int64_t{read_u16(b, 8)} - read_u16(b, 4) + 1;
    int64_t height = int64_t{read_u16(b, 10)} - read_u16(b, 6) + 1;
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide ||
        width * height > kMaxImagePixels)
        return std::nullopt;
    // Each plane of a scan line has this many bytes, padding after the pixels included.
    size_t bytes_per_line = read_u16(b, 66);
    if (bytes_per_line * 8 < static_cast<size_t>(width) * bits)
        return std::nullopt;

    std::string_view data = b.substr(kHeaderSize);
    uint32_t palette[256];
    if (paletted) {
        if (data.size() < kPaletteSize || byte_at(data, data.size() - kPaletteSize) != 0x0C)
            return std::nullopt;
        size_t at = data.size() - kPaletteSize + 1;
        for (size_t i = 0; i < 256; ++i, at += 3)
            palette[i] = 0xFF000000u | byte_at(data, at) << 16 | byte_at(data, at + 1) << 8 | byte_at(data, at + 2);
        data.remove_suffix(kPaletteSize);
    }

    Image image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels.assign(static_cast<size_t>(width * height), 0);
    RunLengthReader reader(data);
    std::vector<unsigned char> line(planes * bytes_per_line);
    for (size_t y = 0; y < static_cast<size_t>(height) && reader.fill(line); ++y) {
        uint32_t* out = &image.pixels[y * static_cast<size_t>(width)];
        for (size_t x = 0; x < static_cast<size_t>(width); ++x) {
            if (paletted)
                out[x] = palette[line[x]];
            else if (true_colour)
                out[x] = 0xFF000000u | uint32_t{line[x]} << 16 | uint32_t{line[bytes_per_line + x]} << 8 |
                         line[2 * bytes_per_line + x];
            else
                out[x] = line[x / 8] >> (7 - x % 8) & 1 ? 0xFFFFFFFFu : 0xFF000000u;
        }
    }
    return image;
}

}  // namespace quarnel
