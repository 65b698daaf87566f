// Grids of any texts: the worksheet the writer makes must read back as one, cell for cell, each
// text whole or cut to a record's reach at a character boundary.
#include "core/dbcs.h"
#include "core/sheet_writer.h"
#include "tests/common/sheet_reader.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    int columns = data[0] % 4 + 1;
    // Now and then the first text is stretched past what one record holds.
    bool stretch = data[1] > 240;
    std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    std::vector<std::string> texts;
    for (size_t at = 0; at <= rest.size();) {
        size_t end = std::min(rest.find('\n', at), rest.size());
        std::string text(rest.substr(at, end - at));
        while (stretch && texts.empty() && !text.empty() && text.size() <= quarnel::kSheetTextLimit)
            text.append(rest.substr(at, end - at));
        texts.push_back(std::move(text));
        at = end + 1;
    }

    quarnel::SheetWriter sheet;
    sheet.set_column_count(columns);
    sheet.set_row_count(static_cast<int>((texts.size() + columns - 1) / columns));
    for (size_t i = 0; i < texts.size(); ++i)
        sheet.set_cell(static_cast<int>(i / columns) + 1, static_cast<int>(i % columns) + 1, texts[i]);
    std::string file;
    sheet.save([&](int, std::string_view bytes) {
        file = bytes;
        return true;
    });

    auto cells = quarnel::test::read_sheet(file);
    if (!cells || cells->size() != static_cast<size_t>(sheet.row_count() * columns))
        abort();
    for (size_t i = 0; i < cells->size(); ++i) {
        const quarnel::test::SheetCell& cell = (*cells)[i];
        std::string full = i < texts.size() ? texts[i] : std::string();
        if (cell.row != static_cast<int>(i) / columns || cell.column != static_cast<int>(i) % columns ||
            cell.blank != full.empty() || full.compare(0, cell.text.size(), cell.text) != 0 ||
            cell.text.size() > quarnel::kSheetTextLimit ||
            (cell.text.size() < full.size() && cell.text.size() + 1 < quarnel::kSheetTextLimit))
            abort();
        // A cut text ends where a character ends.
        size_t at = 0;
        while (at < cell.text.size())
            at += quarnel::cp936_char_length(full, at);
        if (at != cell.text.size())
            abort();
    }
    return 0;
}
