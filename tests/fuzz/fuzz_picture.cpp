// Picture bytes of any content: telling the kind, decoding and scaling must not read outside
// the data, and a decoded image must hold exactly width x height pixels within the size limits.
#include "core/picture.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    quarnel::picture_kind(bytes);
    if (auto image = quarnel::decode_picture(bytes)) {
        if (image->width <= 0 || image->height <= 0 || image->width > quarnel::kMaxImageSide ||
            image->height > quarnel::kMaxImageSide ||
            image->pixels.size() != static_cast<size_t>(image->width) * static_cast<size_t>(image->height))
            abort();
        if (quarnel::scale_image(*image, 16, 16).pixels.size() != 256)
            abort();
    }
    return 0;
}
