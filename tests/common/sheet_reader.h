#pragma once

// Reads the minimal worksheets the export writes, apart from the writer's code, as strictly as a
// careful reader would: one BOF record of a worksheet, then LABEL and BLANK records only, then
// the EOF record with nothing after it. Header-only.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel::test {

struct SheetCell {
    int row = 0;
    int column = 0;
    bool blank = false;
    uint16_t format = 0;
    std::string text;
};

inline uint16_t sheet_u16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

// The cells in file order; nothing when the bytes are not such a worksheet.
inline std::optional<std::vector<SheetCell>> read_sheet(std::string_view bytes) {
    std::vector<SheetCell> cells;
    size_t at = 0;
    bool begun = false;
    while (at + 4 <= bytes.size()) {
        uint16_t type = sheet_u16(bytes, at);
        size_t length = sheet_u16(bytes, at + 2);
        std::string_view data = bytes.substr(at + 4);
        if (data.size() < length)
            return std::nullopt;
        data = data.substr(0, length);
        at += 4 + length;
        if (!begun) {
            if (type != 0x0809 || length != 8 || sheet_u16(data, 2) != 0x0010)
                return std::nullopt;
            begun = true;
        } else if (type == 0x000A) {
            if (length != 0 || at != bytes.size())
                return std::nullopt;
            return cells;
        } else if (type == 0x0204 && length >= 8 && sheet_u16(data, 6) == length - 8) {
            cells.push_back(
                {sheet_u16(data, 0), sheet_u16(data, 2), false, sheet_u16(data, 4), std::string(data.substr(8))});
        } else if (type == 0x0201 && length == 6) {
            cells.push_back({sheet_u16(data, 0), sheet_u16(data, 2), true, sheet_u16(data, 4), {}});
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// The cells as rows of texts, [row][column]; cells a row lacks read empty. Nothing when the
// bytes are not a worksheet.
inline std::optional<std::vector<std::vector<std::string>>> sheet_rows(std::string_view bytes) {
    std::optional<std::vector<SheetCell>> cells = read_sheet(bytes);
    if (!cells)
        return std::nullopt;
    std::vector<std::vector<std::string>> rows;
    for (SheetCell& cell : *cells) {
        if (rows.size() <= static_cast<size_t>(cell.row))
            rows.resize(cell.row + 1);
        std::vector<std::string>& row = rows[cell.row];
        if (row.size() <= static_cast<size_t>(cell.column))
            row.resize(cell.column + 1);
        row[cell.column] = std::move(cell.text);
    }
    return rows;
}

}  // namespace quarnel::test
