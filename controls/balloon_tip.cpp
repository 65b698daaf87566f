#include "controls/balloon_tip.h"

#include <commctrl.h>

namespace quarnel::ui {

namespace {

// The tooltip window's property that names the balloon it shows, for its closing timer.
constexpr wchar_t kBalloonProperty[] = L"QuarnelBalloonTip";
constexpr UINT_PTR kCloseTimer = 0x5154;

void CALLBACK close_balloon(HWND tooltip, UINT, UINT_PTR, DWORD) {
    if (auto* balloon = static_cast<BalloonTip*>(GetPropW(tooltip, kBalloonProperty)))
        balloon->hide();
}

}  // namespace

BalloonTip::~BalloonTip() {
    if (hwnd_ && IsWindow(hwnd_)) {
        KillTimer(hwnd_, kCloseTimer);
        RemovePropW(hwnd_, kBalloonProperty);
        DestroyWindow(hwnd_);
    }
}

bool BalloonTip::create(HWND owner) {
    owner_ = owner;
    // A tooltip makes itself topmost. Owned by the window, it would keep the window from being
    // made topmost or not at the user's choice (seen under Wine); a tracking tooltip needs no
    // owner, so it has none and this object ends it.
    hwnd_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                            WS_POPUP | TTS_BALLOON | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (hwnd_)
        SetPropW(hwnd_, kBalloonProperty, this);
    return hwnd_ != nullptr;
}

void BalloonTip::pop_up(POINT screen_point, const std::wstring& text, bool auto_close) {
    if (!hwnd_)
        return;
    hide();
    text_ = text;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
    tool.hwnd = owner_;
    tool.uId = 1;
    tool.lpszText = text_.data();
    if (!tool_added_)
        tool_added_ = SendMessageW(hwnd_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) != FALSE;
    else
        SendMessageW(hwnd_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    // The text holds line breaks: a width lets the balloon wrap them as lines.
    SendMessageW(hwnd_, TTM_SETMAXTIPWIDTH, 0, 400);
    SendMessageW(hwnd_, TTM_TRACKPOSITION, 0, MAKELPARAM(screen_point.x, screen_point.y));
    SendMessageW(hwnd_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
    if (auto_close)
        closing_ = SetTimer(hwnd_, kCloseTimer, kDisplayMs, close_balloon) != 0;
}

void BalloonTip::hide() {
    if (closing_) {
        KillTimer(hwnd_, kCloseTimer);
        closing_ = false;
    }
    if (!hwnd_ || !tool_added_)
        return;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = owner_;
    tool.uId = 1;
    SendMessageW(hwnd_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

bool BalloonTip::showing() const {
    return hwnd_ && IsWindowVisible(hwnd_);
}

}  // namespace quarnel::ui
