#include "app/list_commands.h"

#include "app/main_window.h"
#include "core/page_text.h"

#include <string>
#include <vector>

namespace quarnel {

void ListCommands::select_all_rows() {
    window_.url_list_view.select_all_rows();
    SetFocus(window_.url_list_view.hwnd());
}

void ListCommands::invert_selection() {
    window_.url_list_view.invert_selection();
    SetFocus(window_.url_list_view.hwnd());
}

void ListCommands::copy_titles() {
    copy_column(kTitleColumn);
}

void ListCommands::copy_urls() {
    copy_column(kUrlColumn);
}

void ListCommands::copy_column(int column) {
    MainWindow& w = window_;
    std::vector<int> rows = w.url_list_view.selected_rows();  // ascending
    if (rows.empty()) {
        w.effects().message_box(L"请先选择一个记录再操作！", kNoticeTitle, MB_OK);
        return;
    }
    std::vector<std::string_view> cells;
    cells.reserve(rows.size());
    for (int row : rows)
        cells.push_back(w.url_list_view.cell_text(row, column));
    std::string text = copied_cells_text(cells);
    w.effects().set_clipboard_text(text);
    if (text.empty())
        return;
    std::wstring notice = L"所选择的" + std::to_wstring(rows.size()) +
                          (column == kTitleColumn ? L"个记录已经复制好标题了！" : L"个记录已经复制好网址了！") +
                          L"\r\n\r\n请在需要处粘贴即可。";
    POINT at{static_cast<LONG>(GetSystemMetrics(SM_CXSCREEN) / 2.0 - 50), static_cast<LONG>(GetSystemMetrics(SM_CYSCREEN) / 2.0)};
    w.effects().show_balloon(w.balloon_tip, at, notice);
}

void ListCommands::open_in_default_browser() {
    // Commands on one row take the lowest selected row.
    std::string url = window_.url_list_view.cell_text(window_.url_list_view.current_row(), kUrlColumn);
    if (!url.empty())
        window_.effects().shell_open(url);
}

void ListCommands::show_row_in_browser_view() {
    window_.visiting.show_row(window_.url_list_view.current_row());
}

void ListCommands::open_shown_row_in_default_browser() {
    std::string url = window_.visiting.shown_url();
    if (!url.empty())
        window_.effects().shell_open(url);
}

void ListCommands::open_home_page() {
    window_.effects().shell_open(window_.servers.home_page);
}

}  // namespace quarnel
