#include "controls/balloon_tip.h"

#include <commctrl.h>

namespace quarnel::ui {

namespace {

// The balloon whose automatic close is due; one balloon at a time in this program.
BalloonTip* g_closing = nullptr;

void CALLBACK close_balloon(HWND, UINT, UINT_PTR, DWORD) {
    if (g_closing)
        g_closing->hide();
}

}  // namespace

BalloonTip::~BalloonTip() {
    if (g_closing == this)
        g_closing = nullptr;
    if (close_timer_)
        KillTimer(nullptr, close_timer_);
    if (hwnd_ && IsWindow(hwnd_))
        DestroyWindow(hwnd_);
}

bool BalloonTip::create(HWND owner) {
    owner_ = owner;
    // A tooltip makes itself topmost. Owned by the window, it would keep the window from being
    // made topmost or not at the user's choice (seen under Wine); a tracking tooltip needs no
    // owner, so it has none and this object ends it.
    hwnd_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                            WS_POPUP | TTS_BALLOON | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    icons_.reset(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 4, 4));
    return hwnd_ != nullptr && icons_;
}

void BalloonTip::pop_up(POINT screen_point, const std::wstring& text, int icon, bool auto_close) {
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
    HICON image = icons_ ? ImageList_GetIcon(icons_.get(), icon, ILD_NORMAL) : nullptr;
    if (image) {
        SendMessageW(hwnd_, TTM_SETTITLEW, reinterpret_cast<WPARAM>(image), reinterpret_cast<LPARAM>(L" "));
        DestroyIcon(image);
    }
    SendMessageW(hwnd_, TTM_TRACKPOSITION, 0, MAKELPARAM(screen_point.x, screen_point.y));
    SendMessageW(hwnd_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
    if (auto_close) {
        g_closing = this;
        close_timer_ = SetTimer(nullptr, 0, kDisplayMs, close_balloon);
    }
}

void BalloonTip::hide() {
    if (close_timer_) {
        KillTimer(nullptr, close_timer_);
        close_timer_ = 0;
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
