#include "app/list_commands.h"

#include "app/texts.h"
#include "core/page_text.h"

#include <string>
#include <vector>

namespace quarnel {

void ListCommands::select_all_rows() {
    p_.list.select_all_rows();
    SetFocus(p_.list.hwnd());
}

void ListCommands::invert_selection() {
    p_.list.invert_selection();
    SetFocus(p_.list.hwnd());
}

void ListCommands::copy_titles() {
    copy_column(kTitleColumn);
}

void ListCommands::copy_urls() {
    copy_column(kUrlColumn);
}

void ListCommands::copy_column(int column) {
    std::vector<int> rows = p_.list.selected_rows();  // ascending
    if (rows.empty()) {
        p_.effects.message_box(L"请先选择一个记录再操作！", kNoticeTitle, MB_OK);
        return;
    }
    std::vector<std::string_view> cells;
    cells.reserve(rows.size());
    for (int row : rows)
        cells.push_back(p_.list.cell_text(row, column));
    std::string text = copied_cells_text(cells);
    p_.effects.set_clipboard_text(text);
    if (text.empty())
        return;
    std::wstring notice = L"所选择的" + std::to_wstring(rows.size()) +
                          (column == kTitleColumn ? L"个记录已经复制好标题了！" : L"个记录已经复制好网址了！") +
                          L"\r\n\r\n请在需要处粘贴即可。";
    POINT at{static_cast<LONG>(GetSystemMetrics(SM_CXSCREEN) / 2.0 - 50),
             static_cast<LONG>(GetSystemMetrics(SM_CYSCREEN) / 2.0)};
    p_.effects.show_balloon(p_.balloon_tip, at, notice);
}

void ListCommands::open_in_default_browser() {
    // Commands on one row take the lowest selected row.
    std::string url = p_.list.cell_text(p_.list.current_row(), kUrlColumn);
    if (!url.empty())
        p_.effects.shell_open(url);
}

void ListCommands::show_row_in_browser_view() {
    p_.visiting.show_row(p_.list.current_row());
}

void ListCommands::open_shown_row_in_default_browser() {
    std::string url = p_.visiting.shown_url();
    if (!url.empty())
        p_.effects.shell_open(url);
}

void ListCommands::open_home_page() {
    p_.effects.shell_open(p_.home_page);
}

}  // namespace quarnel
