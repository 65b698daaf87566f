#pragma once

// The spreadsheet the address list is exported to: a grid of 8-bit texts (GBK, as the list holds
// them) with 1-based rows and columns, as a worksheet numbers them, and its encoding as the
// smallest binary worksheet spreadsheet programs open as an ".xls" file: a BOF record, one LABEL
// record per cell with text and one BLANK record per empty cell, row after row, and an EOF
// record. No code page, font, format, width or sheet-name record: readers take the texts in the
// system's code page.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

// Row numbers in a record are 16-bit. A file holds grid row 1, the header, in its row 0 and at
// most this many grid rows after it; a longer grid goes on in further files, each starting with
// the header again, so a reader never sees row numbers wrap round onto earlier rows.
inline constexpr int kSheetRowsPerFile = 65535;

// A LABEL record's data length is 16-bit and counts 8 bytes before the text: a longer text is
// cut to this many bytes, at a character boundary.
inline constexpr size_t kSheetTextLimit = 65527;

class SheetWriter {
public:
    int row_count() const { return rows_; }
    int column_count() const { return columns_; }

    // Both make a grid of empty cells, `rows` by the column count, discarding every text in it.
    // Negative counts count as 0.
    void set_row_count(int rows);
    void set_column_count(int columns);
    // Appends one row of empty cells; returns its number.
    int add_row();

    // Stores the text when 1 <= row <= row_count() and 1 <= column <= column_count(); returns
    // whether it did.
    bool set_cell(int row, int column, std::string text);
    // The cell's text; empty outside the grid.
    std::string get_cell(int row, int column) const;

    // Receives the bytes of file `index` (0: the file chosen, 1: its first continuation, ...).
    // Returns false to stop the save.
    using FileSink = std::function<bool(int index, std::string_view bytes)>;

    // Encodes the grid, one file after the other, and hands each to `write`; more than one only
    // for a grid of more than 1 + kSheetRowsPerFile rows. Returns whether every file was taken.
    bool save(const FileSink& write) const;
    // Replaces this grid by a copy of `grid`, then saves it.
    bool save_grid(const SheetWriter& grid, const FileSink& write);

private:
    std::string encode_file(int first_row, int rows) const;
    const std::string& cell(int row, int column) const;  // 1-based, inside the grid

    int rows_ = 0;
    int columns_ = 0;
    std::vector<std::string> cells_;  // row-major
};

// The longest start of `text` that is at most `limit` bytes and does not end inside a GBK
// double-byte character.
std::string_view cut_at_character(std::string_view text, size_t limit);

// Where continuation file `number` (2, 3, ...) of a sheet saved at `path` goes: beside it, named
// "<name> (<number>)" with the same extension ("list.xls", "list (2).xls").
std::wstring continuation_path(std::wstring_view path, int number);

}  // namespace quarnel
