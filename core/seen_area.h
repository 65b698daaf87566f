#pragma once

// Whether any part of a window can be seen: the part of it on a screen, less the windows above
// it. Rectangles are in screen coordinates, right and bottom excluded.

#include <span>

namespace quarnel {

struct ScreenBox {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// Whether some part of `area` lies on one of `screens` and outside every one of `covers`.
// Past a few thousand pieces of the uncovered part (hundreds of windows in a fine mesh over it)
// the answer is yes: a view that is seen must never be taken for one that is not.
bool any_part_seen(ScreenBox area, std::span<const ScreenBox> screens, std::span<const ScreenBox> covers);

}  // namespace quarnel
