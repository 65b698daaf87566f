#pragma once

// The rows of a list: a table of 8-bit text cells with a fixed number of columns. It is the
// program's own copy of what a list view shows, so the list view draws rows on demand and tens of
// thousands of rows cost one allocation per cell rather than one window item each.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

class TextTable {
public:
    explicit TextTable(int columns) : columns_(columns < 1 ? 1 : columns) {}

    int column_count() const { return columns_; }
    int row_count() const { return static_cast<int>(cells_.size() / static_cast<size_t>(columns_)); }

    // Inserts a row at `position` (negative or past the end: appended) with `first` in column 0
    // and every other cell empty. Returns the new row's index.
    int insert_row(int position, std::string first);

    // Sets one cell; a row or column that does not exist is ignored.
    void set_cell(int row, int column, std::string text);

    // One cell's text; empty for a row or column that does not exist.
    const std::string& cell(int row, int column) const;

    void clear() { cells_.clear(); }
    void reserve_rows(size_t rows) { cells_.reserve(rows * static_cast<size_t>(columns_)); }

private:
    int columns_;
    std::vector<std::string> cells_;  // row-major
};

// The address list's columns.
enum UrlColumn { kNumberColumn = 0, kUrlColumn = 1, kTitleColumn = 2, kTimeColumn = 3, kUrlColumnCount = 4 };

// The title cell of a row whose page has not been shown yet.
inline constexpr std::string_view kTitleNotYetCaptured = " ";

// Rebuilds the address rows from the address text: one row per accepted line, numbered from 1,
// with the address, a title of one space and an empty time. Returns the number of rows.
int rebuild_url_rows(TextTable& table, std::string_view url_text);

}  // namespace quarnel
