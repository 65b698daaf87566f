#include "core/sheet_writer.h"

#include "core/dbcs.h"
#include "core/le_bytes.h"

#include <algorithm>
#include <cstdint>

namespace quarnel {

namespace {

constexpr uint16_t kBofRecord = 0x0809;
constexpr uint16_t kLabelRecord = 0x0204;
constexpr uint16_t kBlankRecord = 0x0201;
constexpr uint16_t kEofRecord = 0x000A;
constexpr uint16_t kWorksheetSubstream = 0x0010;
// Cell format indices: the file has no format records, so readers fall back on their own
// defaults for both; these are the values this minimal form has always carried.
constexpr uint16_t kBlankFormat = 0x0017;
constexpr uint16_t kLabelFormat = 0;

constexpr size_t kBofSize = 12;
constexpr size_t kLabelHeaderSize = 12;
constexpr size_t kBlankSize = 10;
constexpr size_t kEofSize = 4;

void append_u16s(std::string& out, std::initializer_list<uint16_t> values) {
    for (uint16_t v : values)
        append_u16(out, v);
}

}  // namespace

void SheetWriter::set_row_count(int rows) {
    rows_ = std::max(rows, 0);
    cells_.assign(static_cast<size_t>(rows_) * static_cast<size_t>(columns_), std::string());
}

void SheetWriter::set_column_count(int columns) {
    columns_ = std::max(columns, 0);
    cells_.assign(static_cast<size_t>(rows_) * static_cast<size_t>(columns_), std::string());
}

int SheetWriter::add_row() {
    cells_.resize(cells_.size() + static_cast<size_t>(columns_));
    return ++rows_;
}

bool SheetWriter::set_cell(int row, int column, std::string text) {
    if (row < 1 || row > rows_ || column < 1 || column > columns_)
        return false;
    cells_[static_cast<size_t>(row - 1) * static_cast<size_t>(columns_) + static_cast<size_t>(column - 1)] =
        std::move(text);
    return true;
}

std::string SheetWriter::get_cell(int row, int column) const {
    if (row < 1 || row > rows_ || column < 1 || column > columns_)
        return {};
    return cell(row, column);
}

const std::string& SheetWriter::cell(int row, int column) const {
    return cells_[static_cast<size_t>(row - 1) * static_cast<size_t>(columns_) + static_cast<size_t>(column - 1)];
}

bool SheetWriter::save(const FileSink& write) const {
    // Grid row 1 is the header of every file; the rows after it are shared out in turn.
    int data_rows = std::max(rows_ - 1, 0);
    int files = std::max(1, (data_rows + kSheetRowsPerFile - 1) / kSheetRowsPerFile);
    for (int index = 0; index < files; ++index) {
        int first = 2 + index * kSheetRowsPerFile;
        int rows = std::min(kSheetRowsPerFile, data_rows - index * kSheetRowsPerFile);
        if (!write(index, encode_file(first, std::max(rows, 0))))
            return false;
    }
    return true;
}

bool SheetWriter::save_grid(const SheetWriter& grid, const FileSink& write) {
    if (&grid != this)
        *this = grid;
    return save(write);
}

std::string SheetWriter::encode_file(int first_row, int rows) const {
    // File row 0 is the header (grid row 1), when the grid has one; then `rows` grid rows from
    // `first_row`.
    int file_rows = rows_ >= 1 ? 1 + rows : 0;
    auto grid_row = [&](int file_row) { return file_row == 0 ? 1 : first_row + file_row - 1; };

    size_t size = kBofSize + kEofSize;
    for (int file_row = 0; file_row < file_rows; ++file_row) {
        for (int column = 1; column <= columns_; ++column) {
            size_t n = std::min(cell(grid_row(file_row), column).size(), kSheetTextLimit);
            size += n == 0 ? kBlankSize : kLabelHeaderSize + n;
        }
    }
    std::string out;
    out.reserve(size);
    append_u16s(out, {kBofRecord, 8, 0, kWorksheetSubstream, 0, 0});
    for (int file_row = 0; file_row < file_rows; ++file_row) {
        auto row_number = static_cast<uint16_t>(file_row);
        for (int column = 1; column <= columns_; ++column) {
            auto column_number = static_cast<uint16_t>(column - 1);
            std::string_view text = cut_at_character(cell(grid_row(file_row), column), kSheetTextLimit);
            if (text.empty()) {
                append_u16s(out, {kBlankRecord, 6, row_number, column_number, kBlankFormat});
                continue;
            }
            auto n = static_cast<uint16_t>(text.size());
            append_u16s(out, {kLabelRecord, static_cast<uint16_t>(8 + n), row_number, column_number, kLabelFormat, n});
            out.append(text);
        }
    }
    append_u16s(out, {kEofRecord, 0});
    return out;
}

std::string_view cut_at_character(std::string_view text, size_t limit) {
    if (text.size() <= limit)
        return text;
    size_t at = 0;
    for (;;) {
        size_t next = at + cp936_char_length(text, at);
        if (next > limit)
            return text.substr(0, at);
        at = next;
    }
}

std::wstring continuation_path(std::wstring_view path, int number) {
    size_t name_start = path.find_last_of(L"\\/");
    name_start = name_start == std::wstring_view::npos ? 0 : name_start + 1;
    size_t dot = path.rfind(L'.');
    if (dot == std::wstring_view::npos || dot < name_start)
        dot = path.size();
    std::wstring result(path.substr(0, dot));
    result += L" (" + std::to_wstring(number) + L")";
    result += path.substr(dot);
    return result;
}

}  // namespace quarnel
