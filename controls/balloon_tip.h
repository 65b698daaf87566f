#pragma once

// A balloon tooltip for a window, with an image list of its own for the icons its notices show.
// The notices themselves come with the commands that raise them.

#include "winbase/handles.h"

#include <windows.h>

namespace quarnel::ui {

class BalloonTip {
public:
    BalloonTip() = default;
    BalloonTip(const BalloonTip&) = delete;
    BalloonTip& operator=(const BalloonTip&) = delete;
    ~BalloonTip();

    // Creates the tooltip window for notices about `owner`, and its icon list.
    bool create(HWND owner);
    HWND hwnd() const { return hwnd_; }
    HWND owner() const { return owner_; }
    HIMAGELIST icons() const { return icons_.get(); }

private:
    HWND hwnd_ = nullptr;
    HWND owner_ = nullptr;  // not owned
    win::UniqueImageList icons_;
};

}  // namespace quarnel::ui
