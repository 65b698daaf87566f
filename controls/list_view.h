#pragma once

// A report-style list view that keeps its rows in the program's own memory (a TextTable) and
// draws them on demand (owner data), so that a hundred thousand rows load in a blink. Selection
// stays with the list view itself.

#include "controls/controls.h"
#include "core/text_table.h"

#include <functional>
#include <string>
#include <vector>

namespace quarnel::ui {

struct ListColumn {
    const wchar_t* caption = L"";
    int width = 0;
    int format = LVCFMT_LEFT;
};

class ListView : public Control {
public:
    explicit ListView(int columns) : rows_(columns) {}

    struct CreateArgs {
        Frame frame{};
        std::vector<ListColumn> columns{};
    };
    HWND create(const CreateArgs& args);

    // Rows and cells. Rows and columns are 0-based.
    int row_count() const { return rows_.row_count(); }
    int insert_row(int position, std::string first_cell);  // position < 0: append
    void set_cell_text(int row, int column, std::string text);
    const std::string& cell_text(int row, int column) const { return rows_.cell(row, column); }
    void delete_all_rows();
    // Replaces every row through `fill`, which rebuilds the table; the view is redrawn once.
    void replace_rows(const std::function<void(TextTable&)>& fill);

    // Selection.
    std::vector<int> selected_rows() const;  // ascending
    int selected_count() const;
    bool is_row_selected(int row) const;
    void select_row(int row);
    void deselect_row(int row);
    // Every row at once: one message for the owner-data list, whatever its size.
    void select_all_rows();
    // Selected rows become unselected and the others selected.
    void invert_selection();
    int current_row() const;  // the lowest selected row, or -1

    // Columns.
    int column_count() const;
    std::string column_caption(int column) const;  // ANSI code page
    // -1 sizes the column to its contents, -2 to its header; below -2 counts as -2.
    void set_column_width(int column, int width);
    int column_width(int column) const;

    std::function<void()> on_right_click;
    std::function<void()> on_double_click;

    LRESULT on_notify(NMHDR* header, bool& handled) override;

private:
    void sync_item_count(bool keep_scroll);
    void set_every_row_selected(bool selected);
    void change_selection_undrawn(const std::function<void()>& change);

    TextTable rows_;
    std::wstring display_buffer_;  // the text handed to the list view for one cell
};

}  // namespace quarnel::ui
