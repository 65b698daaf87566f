// Start-up and shutdown: the saved address text, the tray icon, and ending the program.

#include "app/deploy.h"
#include "app/http_fetch.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "core/url_lines.h"
#include "resource_ids.h"
#include "winbase/files.h"
#include "winbase/text.h"

namespace quarnel {

void MainWindow::start_up() {
    // Each step that fails leaves the program running with less: no message, no stop.
    deploy_browser_runtime(app_dir, zip_unpacker.on_progress);
    load_url_text();

    // The start address is used verbatim, line breaks and all; an empty one gives way to the
    // default page.
    std::string fetched = http_fetch(servers.start_address_url);
    start_url = std::string(text_before_nul(fetched));
    if (start_url.empty())
        start_url = servers.default_start_page;

    install_tray_icon();

    browser_view->set_cache(win::wide_to_ansi(app_dir + L"\\User Data"));
    if (browser_view->start_engine(win::wide_to_ansi(runtime_dir()), "")) {
        browser_view->engine_ready();
        browser_view->create_child_view(start_url);
    }

    focus_child_ = url_text_box.hwnd();
    SetFocus(url_text_box.hwnd());
    favicon_picture.set_picture(default_page_icon());
    register_drop_targets();
    DeleteFileW((app_dir + L"\\" + kTempArchiveName).c_str());
}

std::string_view default_page_icon() {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDR_DEFAULT_PAGE_ICON), RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    if (!loaded)
        return {};
    return std::string_view(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found));
}

void MainWindow::load_url_text() {
    // A missing or unreadable file gives an empty box; the text ends at the first NUL byte.
    std::optional<std::string> bytes = win::read_file_bytes(url_file());
    url_text_box.set_text(bytes ? text_before_nul(*bytes) : std::string_view());
    // What the box makes of the file is the text to compare with: bytes it cannot hold (a NUL
    // and what follows, sequences that are not GBK) must not count as an edit, or the first
    // loss of focus would write the file back without them.
    saved_url_text_ = url_text_box.text();
    url_text_box.mark_unchanged();
}

void MainWindow::install_tray_icon() {
    app_icon_.reset(static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
    tray_icon.add(hwnd(), kTrayIconId, kTrayMessage, app_icon_.get(), kAppTitle);
}

void MainWindow::save_url_text() {
    // Silent: on failure the text stays in the box and the next loss of focus, or the end of
    // the program, tries again.
    save_url_text_if_changed();
}

bool MainWindow::save_url_text_if_changed() {
    if (!url_text_box.hwnd() || !url_text_box.changed_since_mark())
        return true;
    std::string text = url_text_box.text();
    if (text != saved_url_text_) {
        if (!win::replace_file_contents(url_file(), text))
            return false;
        saved_url_text_ = std::move(text);
    }
    url_text_box.mark_unchanged();
    return true;
}

bool MainWindow::save_before_ending() {
    if (save_url_text_if_changed())
        return true;
    int answer = ui::show_message_box(
        L"网址列表无法保存到网址.txt（文件可能是只读的，或者磁盘已满）。\n\n是否返回窗口？\n"
        L"选择“是”返回窗口，网址仍在网址列表中；选择“否”直接退出，本次的修改将会丢失。",
        kNoticeTitle, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON1);
    if (answer == IDNO)
        return true;
    // The window may be hidden in the tray: the user goes back to a window they can see.
    if (!IsWindowVisible(hwnd()))
        on_tray_notify(kTrayLeftUp);
    return false;
}

void MainWindow::on_tray_notify(int operation) {
    if (operation == kTrayMenu) {
        POINT at{};
        GetCursorPos(&at);
        tray_menu.show(hwnd(), POINT{at.x + 3, at.y + 3});
        return;
    }
    if (IsWindowVisible(hwnd())) {
        ShowWindow(hwnd(), SW_HIDE);
        return;
    }
    ShowWindow(hwnd(), SW_SHOW);
    if (IsIconic(hwnd()) || IsZoomed(hwnd()))
        ShowWindow(hwnd(), SW_RESTORE);
    RECT r{};
    GetWindowRect(hwnd(), &r);
    POINT at = ui::centred_in(ui::work_area_for(hwnd()), r.right - r.left, r.bottom - r.top);
    SetWindowPos(hwnd(), nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetForegroundWindow(hwnd());
}

void MainWindow::exit_program() {
    // Ends at once; text typed since the box last lost the focus is kept first, and only when
    // it cannot be kept does the user get the choice to go back.
    if (!save_before_ending())
        return;
    tray_icon.remove();
    ExitProcess(0);
}

}  // namespace quarnel
