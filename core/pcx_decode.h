#pragma once

// PC Paintbrush pictures (PCX): the kinds picture_kind tells apart.

#include <optional>
#include <string_view>

#include "core/picture.h"

namespace quarnel {

// A run-length encoded PCX file of one of three kinds: one 8-bit plane of indices into the
// 256-colour palette at the end of the file (the byte 0x0C, then 768 bytes of red, green, blue),
// version 5 or less; three 8-bit planes of red, green and blue, version 5 or less; one 1-bit
// plane of black (0) and white (1), version 3. Every pixel is opaque. A file cut short gives
// the scan lines decoded so far, the rest transparent; nothing when the header or the palette is
// not whole, or when a side is above 4096.
std::optional<Image> decode_pcx(std::string_view bytes);

}  // namespace quarnel
