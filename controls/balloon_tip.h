#pragma once

// A balloon tooltip owned by a window, with an image list of its own for the icons its notices
// show. The notices themselves come with the commands that raise them.

#include "controls/handles.h"

#include <windows.h>

namespace quarnel::ui {

class BalloonTip {
public:
    // Creates the tooltip window, owned by `owner` (and destroyed with it), and its icon list.
    bool create(HWND owner);
    HWND hwnd() const { return hwnd_; }
    HIMAGELIST icons() const { return icons_.get(); }

private:
    HWND hwnd_ = nullptr;  // owned by the owner window, which destroys it
    UniqueImageList icons_;
};

}  // namespace quarnel::ui
