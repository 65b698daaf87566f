// The address list: rows built from the address text, file drops, clearing, and the list's
// right-click menu.

#include "app/main_window.h"

#include "core/text_table.h"
#include "core/url_lines.h"
#include "winbase/files.h"

#include <string>

namespace quarnel {


void MainWindow::read_urls() {
    std::string text = url_text_box.text();
    url_list_view.replace_rows([&](TextTable& rows) { rebuild_url_rows(rows, text); });
}

bool MainWindow::load_dropped_file(const std::wstring& path) {
    // Several files arrive as one text of CR LF-ended paths, which names no file; so do folders,
    // empty, locked and unreadable files. In every such case the box keeps its text.
    std::optional<std::string> bytes = win::read_file_bytes(path);
    if (!bytes || bytes->empty())
        return false;
    url_text_box.set_text(text_before_nul(*bytes));
    return true;
}

void MainWindow::drop_on_text_box(const std::wstring& paths) {
    load_dropped_file(paths);
}

void MainWindow::drop_on_list(const std::wstring& paths) {
    // Rows are rebuilt only from a text that was actually loaded.
    if (load_dropped_file(paths))
        read_urls();
}

void MainWindow::clear_urls() {
    int answer = ui::show_message_box(L"确定要清空当前所有网址吗？", kNoticeTitle, MB_YESNO | MB_DEFBUTTON1);
    if (answer != IDYES)
        return;
    url_text_box.set_text("");
    url_list_view.delete_all_rows();
}

void MainWindow::show_list_menu() {
    int row = url_list_view.current_row();
    if (url_list_view.cell_text(row, kUrlColumn).empty())
        return;
    POINT at{};
    GetCursorPos(&at);
    list_menu.show(hwnd(), POINT{at.x + 3, at.y + 3});
}

}  // namespace quarnel
