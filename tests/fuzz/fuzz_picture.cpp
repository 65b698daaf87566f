// Picture bytes of any content: telling the kind and decoding a bitmap must not read outside the
// data, and a decoded image must hold exactly width x height pixels.
#include "core/picture.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    quarnel::picture_kind(bytes);
    if (auto image = quarnel::decode_bmp(bytes)) {
        if (image->width <= 0 || image->height <= 0 ||
            image->pixels.size() != static_cast<size_t>(image->width) * static_cast<size_t>(image->height))
            abort();
    }
    return 0;
}
