#include "controls/balloon_tip.h"

#include <commctrl.h>

namespace quarnel::ui {

BalloonTip::~BalloonTip() {
    if (hwnd_ && IsWindow(hwnd_))
        DestroyWindow(hwnd_);
}

bool BalloonTip::create(HWND owner) {
    owner_ = owner;
    // A tooltip makes itself topmost. Owned by the window, it would keep the window from being
    // made topmost or not at the user's choice (seen under Wine); a tracking tooltip needs no
    // owner, so it has none and this object ends it.
    hwnd_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_BALLOON | TTS_NOPREFIX | TTS_ALWAYSTIP,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    icons_.reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 4, 4));
    return hwnd_ != nullptr && icons_;
}

}  // namespace quarnel::ui
