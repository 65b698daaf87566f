#include "controls/list_view.h"

#include "winbase/text.h"

#include <commctrl.h>

namespace quarnel::ui {

HWND ListView::create(const CreateArgs& args) {
    const std::vector<ListColumn>& columns = args.columns;
    HWND hwnd = create_framed(WC_LISTVIEWW, args.frame, WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA, WS_EX_CLIENTEDGE);
    if (!hwnd)
        return nullptr;
    DWORD ex = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER;
    SendMessageW(hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, ex, ex);
    for (size_t i = 0; i < columns.size(); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(columns[i].caption);
        column.cx = columns[i].width;
        column.fmt = columns[i].format;
        column.iSubItem = static_cast<int>(i);
        SendMessageW(hwnd, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    return hwnd;
}

void ListView::sync_item_count(bool keep_scroll) {
    SendMessageW(hwnd(), LVM_SETITEMCOUNT, static_cast<WPARAM>(rows_.row_count()),
                 keep_scroll ? LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL : 0);
}

int ListView::insert_row(int position, std::string first_cell) {
    int old_count = rows_.row_count();
    int row = rows_.insert_row(position, std::move(first_cell));
    // The list view keeps selection by index: rows after an insertion point move down by one,
    // and so must their selection.
    std::vector<int> moved;
    if (row < old_count) {
        for (int selected : selected_rows())
            if (selected >= row)
                moved.push_back(selected);
        for (int selected : moved)
            deselect_row(selected);
    }
    sync_item_count(true);
    for (int selected : moved)
        select_row(selected + 1);
    if (row < old_count)
        InvalidateRect(hwnd(), nullptr, FALSE);
    else
        SendMessageW(hwnd(), LVM_REDRAWITEMS, row, row);
    return row;
}

void ListView::set_cell_text(int row, int column, std::string text) {
    if (row < 0 || row >= rows_.row_count())
        return;
    rows_.set_cell(row, column, std::move(text));
    SendMessageW(hwnd(), LVM_REDRAWITEMS, row, row);
}

void ListView::delete_all_rows() {
    SendMessageW(hwnd(), LVM_DELETEALLITEMS, 0, 0);
    rows_.clear();
    sync_item_count(false);
}

void ListView::replace_rows(const std::function<void(TextTable&)>& fill) {
    SendMessageW(hwnd(), LVM_DELETEALLITEMS, 0, 0);
    fill(rows_);
    sync_item_count(false);
    InvalidateRect(hwnd(), nullptr, TRUE);
}

int ListView::selected_count() const {
    return static_cast<int>(SendMessageW(hwnd(), LVM_GETSELECTEDCOUNT, 0, 0));
}

std::vector<int> ListView::selected_rows() const {
    std::vector<int> rows;
    int count = selected_count();
    if (count <= 0)
        return rows;
    rows.reserve(static_cast<size_t>(count));
    // Every row selected, as after "select all": no need to ask for each one.
    if (count == row_count()) {
        for (int row = 0; row < count; ++row)
            rows.push_back(row);
        return rows;
    }
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(hwnd(), LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED))) >=
           0) {
        rows.push_back(row);
    }
    return rows;
}

bool ListView::is_row_selected(int row) const {
    if (row < 0 || row >= rows_.row_count())
        return false;
    return (SendMessageW(hwnd(), LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

void ListView::select_row(int row) {
    // Row -1 would mean every row to the list view.
    if (row < 0)
        return;
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    SendMessageW(hwnd(), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void ListView::change_selection_undrawn(const std::function<void()>& change) {
    // The list view may change the rows one by one and invalidate each as it goes (Wine does, at
    // a round trip to its server each); with drawing held off, the list is redrawn once instead.
    SendMessageW(hwnd(), WM_SETREDRAW, FALSE, 0);
    change();
    SendMessageW(hwnd(), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd(), nullptr, FALSE);
}

void ListView::set_every_row_selected(bool selected) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    SendMessageW(hwnd(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
}

void ListView::select_all_rows() {
    change_selection_undrawn([this] { set_every_row_selected(true); });
}

void ListView::invert_selection() {
    // Every row is set at once to the state most rows end in, then the others are changed one by
    // one: as many messages as the smaller part of the list, not one per row.
    std::vector<int> were = selected_rows();
    bool most_were_selected = static_cast<size_t>(row_count()) - were.size() < were.size();
    change_selection_undrawn([this, &were, most_were_selected] {
        set_every_row_selected(!most_were_selected);
        if (!most_were_selected) {
            for (int row : were)
                deselect_row(row);
            return;
        }
        size_t next = 0;  // into `were`, ascending
        for (int row = 0; row < row_count(); ++row) {
            if (next < were.size() && were[next] == row)
                ++next;
            else
                select_row(row);
        }
    });
}

void ListView::deselect_row(int row) {
    if (row < 0)
        return;
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    item.state = 0;
    SendMessageW(hwnd(), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

int ListView::current_row() const {
    return static_cast<int>(SendMessageW(hwnd(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

int ListView::column_count() const {
    HWND header = reinterpret_cast<HWND>(SendMessageW(hwnd(), LVM_GETHEADER, 0, 0));
    return static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
}

std::string ListView::column_caption(int column) const {
    wchar_t buffer[260] = {};
    LVCOLUMNW info{};
    info.mask = LVCF_TEXT;
    info.pszText = buffer;
    info.cchTextMax = 260;
    if (!SendMessageW(hwnd(), LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info)))
        return {};
    return win::wide_to_ansi(info.pszText);
}

void ListView::set_column_width(int column, int width) {
    if (width < -2)
        width = -2;
    int system_width = width == -1 ? LVSCW_AUTOSIZE : width == -2 ? LVSCW_AUTOSIZE_USEHEADER : width;
    SendMessageW(hwnd(), LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), system_width);
}

int ListView::column_width(int column) const {
    return static_cast<int>(SendMessageW(hwnd(), LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

LRESULT ListView::on_notify(NMHDR* header, bool& handled) {
    switch (header->code) {
        case LVN_GETDISPINFOW: {
            auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
            if (info->item.mask & LVIF_TEXT) {
                // Only as much of the cell as the list view can show is converted, so a huge cell
                // costs no more to draw than a short one.
                const std::string& cell = rows_.cell(info->item.iItem, info->item.iSubItem);
                size_t limit = info->item.cchTextMax > 0 ? static_cast<size_t>(info->item.cchTextMax) : 1024;
                display_buffer_ = win::ansi_to_wide(std::string_view(cell).substr(0, limit));
                if (info->item.pszText && info->item.cchTextMax > 0)
                    lstrcpynW(info->item.pszText, display_buffer_.c_str(), info->item.cchTextMax);
                else
                    info->item.pszText = display_buffer_.data();
            }
            handled = true;
            return 0;
        }
        case NM_RCLICK:
            if (on_right_click) {
                on_right_click();
                handled = true;
            }
            return 0;
        case NM_DBLCLK:
            if (on_double_click) {
                on_double_click();
                handled = true;
            }
            return 0;
    }
    return 0;
}

}  // namespace quarnel::ui
