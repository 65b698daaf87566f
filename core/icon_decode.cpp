// ICO and CUR files: a directory of images, each a bitmap without its file header (colour rows
// and then an AND mask) or, since Windows Vista, a whole PNG file.

#include "core/picture.h"

#include "core/le_bytes.h"

#include <algorithm>
#include <tuple>

namespace quarnel {

namespace {

struct Entry {
    std::string_view data;
    int64_t width = 0, height = 0;
    int bits = 0;
    bool png = false;
};

// The size and depth an entry's own image states; the directory's figures are often wrong
// (0 for 256, colour counts for depths), so they only fill in what the image does not say.
bool read_entry(std::string_view file, size_t at, Entry& e) {
    uint32_t size = read_u32(file, at + 8), offset = read_u32(file, at + 12);
    if (offset >= file.size() || size > file.size() - offset || size < 12)
        return false;
    e.data = file.substr(offset, size);
    e.width = static_cast<unsigned char>(file[at]) ? static_cast<unsigned char>(file[at]) : 256;
    e.height = static_cast<unsigned char>(file[at + 1]) ? static_cast<unsigned char>(file[at + 1]) : 256;
    if (e.data.substr(0, 4) == "\x89PNG") {
        e.png = true;
        // The IHDR chunk follows the 8-byte signature: length, type, width, height, depth, colour.
        if (e.data.size() >= 26 && e.data.substr(12, 4) == "IHDR") {
            auto be32 = [&](size_t p) {
                return uint32_t{static_cast<unsigned char>(e.data[p])} << 24 |
                       uint32_t{static_cast<unsigned char>(e.data[p + 1])} << 16 |
                       uint32_t{static_cast<unsigned char>(e.data[p + 2])} << 8 |
                       static_cast<unsigned char>(e.data[p + 3]);
            };
            e.width = be32(16);
            e.height = be32(20);
            int depth = static_cast<unsigned char>(e.data[24]), colour = static_cast<unsigned char>(e.data[25]);
            int channels = colour == 6 ? 4 : colour == 2 ? 3 : colour == 4 ? 2 : 1;
            e.bits = depth * channels;
        }
    } else if (read_u32(e.data, 0) >= 40 && e.data.size() >= 16) {
        e.width = static_cast<int32_t>(read_u32(e.data, 4));
        e.height = static_cast<int32_t>(read_u32(e.data, 8)) / 2;
        e.bits = static_cast<int>(read_u16(e.data, 14));
    } else {
        e.bits = static_cast<int>(read_u16(file, at + 6));
    }
    // Only for ranking: sizes past any real icon rank as the largest, never overflow.
    e.width = std::clamp<int64_t>(e.width, 0, 1 << 16);
    e.height = std::clamp<int64_t>(e.height, 0, 1 << 16);
    return true;
}

// The order of preference: an exact 16 x 16, then larger ones from the smallest up, then
// smaller ones from the largest down; within one size, the deepest colour first.
bool preferred(const Entry& a, const Entry& b) {
    auto rank = [](const Entry& e) {
        int64_t area = e.width * e.height;
        bool exact = e.width == 16 && e.height == 16;
        bool larger = e.width >= 16 && e.height >= 16;
        return std::tuple(exact ? 0 : larger ? 1 : 2, larger ? area : -area);
    };
    if (rank(a) != rank(b))
        return rank(a) < rank(b);
    return a.bits > b.bits;
}

}  // namespace

std::optional<Image> decode_icon(std::string_view b) {
    if (b.size() < 6 || read_u16(b, 0) != 0 || (read_u16(b, 2) != 1 && read_u16(b, 2) != 2))
        return std::nullopt;
    size_t count = read_u16(b, 4);
    std::vector<Entry> entries;
    for (size_t i = 0; i < count && 6 + 16 * (i + 1) <= b.size(); ++i) {
        Entry e;
        if (read_entry(b, 6 + 16 * i, e))
            entries.push_back(e);
    }
    std::stable_sort(entries.begin(), entries.end(), preferred);
    for (const Entry& e : entries) {
        std::optional<Image> image = e.png ? decode_png(e.data) : decode_dib(e.data, 0, 0, true);
        if (image)
            return image;
    }
    return std::nullopt;
}

}  // namespace quarnel
