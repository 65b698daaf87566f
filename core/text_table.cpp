#include "core/text_table.h"

#include "core/url_lines.h"

#include <iterator>

namespace quarnel {

namespace {

const std::string kEmpty;

}  // namespace

int TextTable::insert_row(int position, std::string first) {
    int rows = row_count();
    if (position < 0 || position > rows)
        position = rows;
    auto at = cells_.begin() + static_cast<ptrdiff_t>(position) * columns_;
    at = cells_.insert(at, static_cast<size_t>(columns_), std::string());
    *at = std::move(first);
    return position;
}

void TextTable::set_cell(int row, int column, std::string text) {
    if (row < 0 || row >= row_count() || column < 0 || column >= columns_)
        return;
    cells_[static_cast<size_t>(row) * columns_ + column] = std::move(text);
}

const std::string& TextTable::cell(int row, int column) const {
    if (row < 0 || row >= row_count() || column < 0 || column >= columns_)
        return kEmpty;
    return cells_[static_cast<size_t>(row) * columns_ + column];
}

int rebuild_url_rows(TextTable& table, std::string_view url_text) {
    std::vector<std::string_view> urls = extract_urls(url_text);
    table.clear();
    table.reserve_rows(urls.size());
    for (std::string_view url : urls) {
        int row = table.insert_row(-1, std::to_string(table.row_count() + 1));
        table.set_cell(row, kUrlColumn, std::string(url));
        table.set_cell(row, kTitleColumn, std::string(kTitleNotYetCaptured));
    }
    return table.row_count();
}

}  // namespace quarnel
