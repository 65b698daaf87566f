#include "app/lifecycle.h"

#include "app/deploy.h"
#include "app/http_fetch.h"
#include "app/main_window.h"
#include "app/texts.h"
#include "core/url_lines.h"
#include "resource_ids.h"
#include "winbase/text.h"

namespace quarnel {

void Lifecycle::start_up() {
    MainWindow& w = window_;
    // Each step that fails leaves the program running with less: no message, no stop.
    deploy_browser_runtime(w.app_dir);
    w.address_file.load_url_text();

    // The start address is used verbatim, line breaks and all; an empty one gives way to the
    // default page.
    std::string fetched = w.effects().fetch(w.servers.start_address_url, kStartAddressFetchLimit);
    w.start_url = std::string(text_before_nul(fetched));
    if (w.start_url.empty())
        w.start_url = w.servers.default_start_page;

    install_tray_icon();

    w.browser_view->set_cache(win::wide_to_ansi(w.app_dir + L"\\User Data"));
    w.engine.start(w.start_url);

    w.give_focus_to(w.url_text_box.hwnd());
    w.favicon_picture.set_picture(default_page_icon());
    w.address_list.register_drop_targets();
    DeleteFileW((w.app_dir + L"\\" + kTempArchiveName).c_str());
}

void Lifecycle::install_tray_icon() {
    app_icon_.reset(static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
    window_.tray_icon.add(window_.hwnd(), kTrayIconId, kTrayMessage, app_icon_.get(), kAppTitle);
}

void Lifecycle::on_tray_notify(int operation) {
    HWND hwnd = window_.hwnd();
    if (operation == kTrayMenu) {
        POINT at{};
        GetCursorPos(&at);
        window_.effects().show_popup_menu(window_.tray_menu, hwnd, POINT{at.x + 3, at.y + 3});
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
    if (window_.address_file.save_url_text_if_changed())
        return true;
    int answer = window_.effects().message_box(
        L"网址列表无法保存到网址.txt（文件可能是只读的，或者磁盘已满）。\n\n是否返回窗口？\n"
        L"选择“是”返回窗口，网址仍在网址列表中；选择“否”直接退出，本次的修改将会丢失。",
        kNoticeTitle, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON1);
    if (answer == IDNO)
        return true;
    // The window may be hidden in the tray: the user goes back to a window they can see.
    if (!IsWindowVisible(window_.hwnd()))
        on_tray_notify(kTrayLeftUp);
    return false;
}

void Lifecycle::exit_program() {
    // Ends at once; text typed since the box last lost the focus is kept first, and only when
    // it cannot be kept does the user get the choice to go back.
    if (!save_before_ending())
        return;
    window_.tray_icon.remove();
    window_.list_export.finish();
    ExitProcess(0);
}

}  // namespace quarnel
