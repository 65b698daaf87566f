#pragma once

// An icon in the notification area. Its mouse notifications arrive at the owner window as a
// private message; it is removed when the object ends, and put back when the taskbar is
// re-created (Explorer restarted).

#include <windows.h>

#include <string>

namespace quarnel::ui {

class TrayIcon {
public:
    TrayIcon() = default;
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;
    ~TrayIcon() { remove(); }

    // Adds the icon; the tip is cut to what the notification area holds. The icon handle is
    // not owned.
    bool add(HWND owner, UINT id, UINT callback_message, HICON icon, const std::wstring& tip);
    void remove();

    // Call from the owner's window procedure: re-adds the icon after the taskbar came back.
    // Returns whether the message was the taskbar's.
    bool on_message(UINT msg);

private:
    bool notify(DWORD action);

    HWND owner_ = nullptr;
    UINT id_ = 0;
    UINT callback_message_ = 0;
    HICON icon_ = nullptr;
    std::wstring tip_;
    bool installed_ = false;
    UINT taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");
};

}  // namespace quarnel::ui
