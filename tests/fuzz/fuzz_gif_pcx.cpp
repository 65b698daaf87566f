// Bytes of any content given to the GIF and PCX decoders: they must not read outside the data,
// and a decoded image must hold exactly width x height pixels with no side above 4096, each PCX
// pixel opaque or, past the data, transparent.
#include "core/gif_decode.h"
#include "core/pcx_decode.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(const std::optional<quarnel::Image>& image) {
    if (image && (image->width <= 0 || image->height <= 0 || image->width > 4096 || image->height > 4096 ||
                  image->pixels.size() != static_cast<size_t>(image->width) * static_cast<size_t>(image->height)))
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    check(quarnel::decode_gif(bytes));
    auto pcx = quarnel::decode_pcx(bytes);
    check(pcx);
    if (pcx) {
        for (uint32_t pixel : pcx->pixels) {
            if (pixel >> 24 != 0xFF && pixel != 0)
                abort();
        }
    }
    return 0;
}
