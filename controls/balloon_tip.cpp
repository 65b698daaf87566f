#include "controls/balloon_tip.h"

#include <commctrl.h>

namespace quarnel::ui {

bool BalloonTip::create(HWND owner) {
    hwnd_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_BALLOON | TTS_NOPREFIX | TTS_ALWAYSTIP,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    icons_.reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 4, 4));
    return hwnd_ != nullptr && icons_;
}

}  // namespace quarnel::ui
