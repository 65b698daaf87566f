#pragma once

// GIF pictures (87a and 89a): the first frame only, drawn onto the logical screen.

#include <optional>
#include <string_view>

#include "core/picture.h"

namespace quarnel {

// The first image of a GIF file on an image the size of its logical screen: pixels outside the
// frame, and pixels of the Graphic Control Extension's transparent index, have alpha 0; the rest
// are opaque colours from the frame's local colour table, else the global one. Interlaced frames
// are put back in row order. A file cut short gives the pixels decoded so far, the rest
// transparent; nothing when the frame's header is not whole, when there is no colour table, or
// when a side of the screen or frame is 0 or above 4096.
std::optional<Image> decode_gif(std::string_view bytes);

}  // namespace quarnel
