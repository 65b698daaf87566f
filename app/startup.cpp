// Start-up and shutdown: the saved address text, the tray icon, and ending the program.

#include "app/deploy.h"
#include "app/files.h"
#include "app/http_fetch.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "controls/text.h"
#include "core/url_lines.h"
#include "resource_ids.h"

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

    browser_view->set_cache(ui::wide_to_ansi(app_dir + L"\\User Data"));
    if (browser_view->start_engine(ui::wide_to_ansi(runtime_dir()), "")) {
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
    std::optional<std::string> bytes = read_file_bytes(url_file());
    std::string text(bytes ? text_before_nul(*bytes) : std::string_view());
    url_text_box.set_text(text);
    saved_url_text_ = std::move(text);
}

void MainWindow::install_tray_icon() {
    app_icon_.reset(static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
    tray_icon.add(hwnd(), kTrayIconId, kTrayMessage, app_icon_.get(), kAppTitle);
}

void MainWindow::save_url_text() {
    write_url_file(url_text_box.text());
}

void MainWindow::save_url_text_if_changed() {
    if (!url_text_box.hwnd())
        return;
    std::string text = url_text_box.text();
    if (text != saved_url_text_)
        write_url_file(std::move(text));
}

void MainWindow::write_url_file(std::string text) {
    // Failures stay silent: the text is still in the box and the next loss of focus tries again.
    if (replace_file_contents(url_file(), text))
        saved_url_text_ = std::move(text);
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
    // Ends at once, without asking; text typed since the box last lost the focus is kept first.
    save_url_text_if_changed();
    tray_icon.remove();
    ExitProcess(0);
}

}  // namespace quarnel
