#include "app/lifecycle.h"

#include "app/deploy.h"
#include "app/http_fetch.h"
#include "app/page_icon.h"
#include "app/texts.h"
#include "core/url_lines.h"
#include "resource_ids.h"
#include "winbase/text.h"

namespace quarnel {

void Lifecycle::start_up() {
    // Each step that fails leaves the program running with less: no message, no stop.
    deploy_browser_runtime(p_.app_dir);
    p_.address_file.load_url_text();

    // The start address is used verbatim, line breaks and all; an empty one gives way to the
    // default page.
    std::string fetched = p_.effects.fetch(p_.servers.start_address_url, kStartAddressFetchLimit);
    start_url_ = std::string(text_before_nul(fetched));
    if (start_url_.empty())
        start_url_ = p_.servers.default_start_page;

    install_tray_icon();

    p_.engine.start(win::wide_to_ansi(p_.app_dir + L"\\User Data"), start_url_);

    if (p_.focus_address_box)
        p_.focus_address_box();
    p_.favicon_picture.set_picture(default_page_icon());
    p_.address_list.register_drop_targets();
    DeleteFileW((p_.app_dir + L"\\" + kTempArchiveName).c_str());
}

void Lifecycle::install_tray_icon() {
    app_icon_.reset(static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
    p_.tray_icon.add(p_.window.hwnd(), kTrayIconId, kTrayMessage, app_icon_.get(), kAppTitle);
}

void Lifecycle::on_tray_notify(int operation) {
    HWND hwnd = p_.window.hwnd();
    if (operation == kTrayMenu) {
        p_.effects.show_popup_menu(p_.tray_menu, hwnd, ui::PopupMenu::beside_cursor());
        return;
    }
    if (IsWindowVisible(hwnd)) {
        ShowWindow(hwnd, SW_HIDE);
        return;
    }
    ShowWindow(hwnd, SW_SHOW);
    if (IsIconic(hwnd) || IsZoomed(hwnd))
        ShowWindow(hwnd, SW_RESTORE);
    RECT r{};
    GetWindowRect(hwnd, &r);
    POINT at = ui::centred_in(ui::work_area_for(hwnd), r.right - r.left, r.bottom - r.top);
    SetWindowPos(hwnd, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetForegroundWindow(hwnd);
}

bool Lifecycle::save_before_ending() {
    if (p_.address_file.save_url_text_if_changed())
        return true;
    int answer = p_.effects.message_box(
        L"网址列表无法保存到网址.txt（文件可能是只读的，或者磁盘已满）。\n\n是否返回窗口？\n"
        L"选择“是”返回窗口，网址仍在网址列表中；选择“否”直接退出，本次的修改将会丢失。",
        kNoticeTitle, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON1);
    if (answer == IDNO)
        return true;
    // The window may be hidden in the tray: the user goes back to a window they can see.
    if (!IsWindowVisible(p_.window.hwnd()))
        on_tray_notify(kTrayLeftUp);
    return false;
}

void Lifecycle::exit_program() {
    // Ends at once; text typed since the box last lost the focus is kept first, and only when
    // it cannot be kept does the user get the choice to go back.
    if (!save_before_ending())
        return;
    p_.tray_icon.remove();
    p_.list_export.finish();
    ExitProcess(0);
}

}  // namespace quarnel
