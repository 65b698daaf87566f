#include "controls/tray_icon.h"

#include <shellapi.h>

namespace quarnel::ui {

bool TrayIcon::add(HWND owner, UINT id, UINT callback_message, HICON icon, const std::wstring& tip) {
    remove();
    owner_ = owner;
    id_ = id;
    callback_message_ = callback_message;
    icon_ = icon;
    tip_ = tip;
    installed_ = notify(NIM_ADD);
    return installed_;
}

void TrayIcon::remove() {
    if (installed_)
        notify(NIM_DELETE);
    installed_ = false;
}

bool TrayIcon::on_message(UINT msg) {
    if (msg != taskbar_created_ || !owner_)
        return false;
    installed_ = notify(NIM_ADD);
    return true;
}

bool TrayIcon::notify(DWORD action) {
    NOTIFYICONDATAW data{};
    // The size of the Windows 2000 layout: every system from Windows 7 on takes it.
    data.cbSize = NOTIFYICONDATAW_V2_SIZE;
    data.hWnd = owner_;
    data.uID = id_;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = callback_message_;
    data.hIcon = icon_;
    lstrcpynW(data.szTip, tip_.c_str(), static_cast<int>(sizeof(data.szTip) / sizeof(data.szTip[0])));
    return Shell_NotifyIconW(action, &data) != FALSE;
}

}  // namespace quarnel::ui
