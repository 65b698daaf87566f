// PNG and JPEG through libpng and libjpeg. Both report errors by longjmp, so the state that must
// survive an error lives in objects made before setjmp, and nothing with a destructor is made
// between setjmp and the library calls.

#include "core/picture.h"

#include <png.h>

#include <cstdio>  // jpeglib.h needs FILE
#include <jpeglib.h>

#include <csetjmp>
#include <cstring>

namespace quarnel {

namespace {

// How far the libraries' compression can go, at most: a header that claims more pixels than
// this many times the data's size is not believed. Deflate reaches about 1032 to 1 on bytes, a
// 1-bit PNG eight pixels a byte; a JPEG of one flat colour codes an 8 x 8 block in a few bits.
constexpr uint64_t kPngPixelsPerByte = 1032 * 8;
constexpr uint64_t kJpegPixelsPerByte = 64 * 64;

bool plausible_size(uint64_t width, uint64_t height, size_t bytes, uint64_t pixels_per_byte) {
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
           width * height <= static_cast<uint64_t>(kMaxImagePixels) && width * height <= bytes * pixels_per_byte;
}

struct PngSource {
    std::string_view bytes;
    size_t at = 0;
};

void read_png_bytes(png_structp png, png_bytep out, size_t count) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > source->bytes.size() - source->at)
        png_error(png, "truncated");
    std::memcpy(out, source->bytes.data() + source->at, count);
    source->at += count;
}

void ignore_png_warning(png_structp, png_const_charp) {}
void png_error_jump(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

// Rows read so far stay in `image` when the data ends early.
struct PngRead {
    png_structp png = nullptr;
    png_infop info = nullptr;
    Image image;
    int rows_done = 0;
    bool interlaced = false;
    std::vector<png_bytep> row_pointers;
    ~PngRead() { png_destroy_read_struct(&png, &info, nullptr); }
};

// The first `rows` rows of 8-bit RGBA samples as the image's pixels.
void take_rows(Image& image, const std::vector<unsigned char>& rgba, int rows) {
    size_t count = static_cast<size_t>(rows) * static_cast<size_t>(image.width);
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* p = &rgba[i * 4];
        image.pixels[i] = uint32_t{p[3]} << 24 | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    }
}

}  // namespace

std::optional<Image> decode_png(std::string_view bytes) {
    PngSource source{bytes};
    PngRead r;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_error_jump, ignore_png_warning);
    if (!r.png)
        return std::nullopt;
    r.info = png_create_info_struct(r.png);
    if (!r.info)
        return std::nullopt;
    std::vector<unsigned char> rgba;  // made before setjmp: it must outlive a jump
    if (setjmp(png_jmpbuf(r.png))) {
        // A stream cut short keeps the rows it gave; an interlaced one has no whole rows yet.
        if (r.rows_done == 0 || r.interlaced)
            return std::nullopt;
        take_rows(r.image, rgba, r.rows_done);
        return std::move(r.image);
    }
    png_set_read_fn(r.png, &source, read_png_bytes);
    png_set_user_limits(r.png, kMaxImageSide, kMaxImageSide);
    png_set_chunk_malloc_max(r.png, 8 * 1024 * 1024);
    png_read_info(r.png, r.info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(r.png, r.info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
    if (!plausible_size(width, height, bytes.size(), kPngPixelsPerByte))
        return std::nullopt;

    // Everything becomes 8-bit RGBA: palettes and grey expanded, tRNS turned into alpha, 16-bit
    // channels scaled down, an opaque alpha added where there is none.
    png_set_expand(r.png);
    png_set_scale_16(r.png);
    png_set_gray_to_rgb(r.png);
    png_set_add_alpha(r.png, 0xFF, PNG_FILLER_AFTER);
    int passes = png_set_interlace_handling(r.png);
    r.interlaced = passes > 1;
    png_read_update_info(r.png, r.info);
    if (png_get_rowbytes(r.png, r.info) != static_cast<size_t>(width) * 4)
        return std::nullopt;

    r.image.width = static_cast<int>(width);
    r.image.height = static_cast<int>(height);
    r.image.pixels.resize(static_cast<size_t>(width) * height);
    rgba.resize(static_cast<size_t>(width) * height * 4);
    r.row_pointers.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        r.row_pointers[y] = &rgba[static_cast<size_t>(y) * width * 4];
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(r.png, r.row_pointers[y], nullptr);
            if (pass == 0)
                r.rows_done = static_cast<int>(y) + 1;
        }
    }
    take_rows(r.image, rgba, r.image.height);
    return std::move(r.image);
}

namespace {

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void jpeg_error_jump(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

void ignore_jpeg_message(j_common_ptr, int) {}

// A progressive file may hold any number of scans, each a pass over the whole image: past a few
// hundred the data is hostile, not a picture.
constexpr int kMaxJpegScans = 500;

void limit_scans(j_common_ptr info) {
    auto* d = reinterpret_cast<j_decompress_ptr>(info);
    if (d->input_scan_number > kMaxJpegScans)
        jpeg_error_jump(info);
}

struct JpegRead {
    explicit JpegRead(Image& into) : image(into) {}
    jpeg_decompress_struct info{};
    JpegErrors errors{};
    jpeg_progress_mgr progress{};
    bool created = false;
    Image& image;
    int rows_done = 0;
    ~JpegRead() {
        if (created)
            jpeg_destroy_decompress(&info);
    }
};

}  // namespace

bool decode_jpeg_into(std::string_view bytes, Image& image) {
    JpegRead r(image);
    std::vector<unsigned char> row;  // made before setjmp: it must outlive a jump
    r.info.err = jpeg_std_error(&r.errors.manager);
    r.errors.manager.error_exit = jpeg_error_jump;
    r.errors.manager.emit_message = ignore_jpeg_message;
    if (setjmp(r.errors.jump))
        return r.rows_done > 0;
    jpeg_create_decompress(&r.info);
    r.created = true;
    r.progress.progress_monitor = limit_scans;
    r.info.progress = &r.progress;
    jpeg_mem_src(&r.info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&r.info, TRUE) != JPEG_HEADER_OK)
        return false;
    if (!plausible_size(r.info.image_width, r.info.image_height, bytes.size(), kJpegPixelsPerByte))
        return false;
    bool cmyk = r.info.jpeg_color_space == JCS_CMYK || r.info.jpeg_color_space == JCS_YCCK;
    bool grey = r.info.jpeg_color_space == JCS_GRAYSCALE;
    // Colour comes out of libjpeg-turbo as the pixels are kept (B, G, R, opaque A in memory), so
    // its rows are written in place: no pass of their own over them.
    const bool in_place = !cmyk && !grey;
    r.info.out_color_space = cmyk ? JCS_CMYK : grey ? JCS_GRAYSCALE : JCS_EXT_BGRA;
    jpeg_start_decompress(&r.info);
    const int width = static_cast<int>(r.info.output_width), height = static_cast<int>(r.info.output_height);
    const int components = r.info.output_components;
    if (width <= 0 || height <= 0 || components != (in_place ? 4 : cmyk ? 4 : 1))
        return false;
    r.image.width = width;
    r.image.height = height;
    r.image.pixels.assign(static_cast<size_t>(width) * height, 0);
    if (!in_place)
        row.resize(static_cast<size_t>(width) * components);
    // Adobe's files store CMYK inverted (0 is full ink); others store it plainly.
    const bool inverted = r.info.saw_Adobe_marker;
    while (r.info.output_scanline < r.info.output_height) {
        int y = static_cast<int>(r.info.output_scanline);
        uint32_t* out = &r.image.pixels[static_cast<size_t>(y) * width];
        JSAMPROW rows[1] = {in_place ? reinterpret_cast<JSAMPROW>(out) : row.data()};
        if (jpeg_read_scanlines(&r.info, rows, 1) != 1)
            break;
        for (int x = 0; !in_place && x < width; ++x) {
            const unsigned char* p = &row[static_cast<size_t>(x) * components];
            uint32_t red, green, blue;
            if (components == 1) {
                red = green = blue = p[0];
            } else {
                uint32_t c = p[0], m = p[1], yellow = p[2], k = p[3];
                if (!inverted)
                    c = 255 - c, m = 255 - m, yellow = 255 - yellow, k = 255 - k;
                red = (c * k + 127) / 255, green = (m * k + 127) / 255, blue = (yellow * k + 127) / 255;
            }
            out[x] = 0xFF000000u | red << 16 | green << 8 | blue;
        }
        r.rows_done = y + 1;
    }
    jpeg_finish_decompress(&r.info);
    return true;
}

std::optional<Image> decode_jpeg(std::string_view bytes) {
    Image image;
    if (!decode_jpeg_into(bytes, image))
        return std::nullopt;
    return image;
}

}  // namespace quarnel
