#include "core/sheet_writer.h"

#include "tests/common/sheet_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarnel {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// GBK bytes of the list's captions and texts.
const std::string kUrlCaption = "\xCD\xF8\xD6\xB7";                                   // 网址
const std::string kTitleCaption = "\xB1\xEA\xCC\xE2";                                 // 标题
const std::string kTimeCaption = "\xD7\xEE\xBA\xF3\xE4\xAF\xC0\xC0\xCA\xB1\xBC\xE4";  // 最后浏览时间
const std::string kUntitled = "\xCE\xDE\xB1\xEA\xCC\xE2";                             // 无标题

SheetWriter sheet_of(const Rows& rows) {
    SheetWriter sheet;
    sheet.set_row_count(static_cast<int>(rows.size()));
    sheet.set_column_count(rows.empty() ? 0 : static_cast<int>(rows[0].size()));
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t c = 0; c < rows[r].size(); ++c)
            sheet.set_cell(static_cast<int>(r) + 1, static_cast<int>(c) + 1, rows[r][c]);
    }
    return sheet;
}

std::vector<std::string> saved_files(const SheetWriter& sheet) {
    std::vector<std::string> files;
    EXPECT_TRUE(sheet.save([&](int index, std::string_view bytes) {
        EXPECT_EQ(index, static_cast<int>(files.size()));
        files.emplace_back(bytes);
        return true;
    }));
    return files;
}

TEST(SheetWriter, WritesTheWorkedExampleByteForByte) {
    std::string u = "http://www.a.com/";
    std::vector<std::string> files = saved_files(sheet_of({{kUrlCaption, kTitleCaption, kTimeCaption}, {u, " ", ""}}));
    std::string expected = std::string("\x09\x08\x08\x00\x00\x00\x10\x00\x00\x00\x00\x00", 12) +
                           std::string("\x04\x02\x0C\x00\x00\x00\x00\x00\x00\x00\x04\x00", 12) + kUrlCaption +
                           std::string("\x04\x02\x0C\x00\x00\x00\x01\x00\x00\x00\x04\x00", 12) + kTitleCaption +
                           std::string("\x04\x02\x14\x00\x00\x00\x02\x00\x00\x00\x0C\x00", 12) + kTimeCaption +
                           std::string("\x04\x02\x19\x00\x01\x00\x00\x00\x00\x00\x11\x00", 12) + u +
                           std::string("\x04\x02\x09\x00\x01\x00\x01\x00\x00\x00\x01\x00", 12) + " " +
                           std::string("\x01\x02\x06\x00\x01\x00\x02\x00\x17\x00", 10) +
                           std::string("\x0A\x00\x00\x00", 4);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0], expected);
}

TEST(SheetWriter, RecordLengthsCountBytesNotCharacters) {
    struct Case {
        const char* name;
        Rows rows;
        size_t file_size;
    } cases[] = {
        {"empty list: the header alone", {{kUrlCaption, kTitleCaption, kTimeCaption}}, 72},
        {"untitled: a 6-byte text", {{kUntitled}}, 12 + 12 + 6 + 4},
        {"the time caption: a 12-byte text", {{kTimeCaption}}, 12 + 12 + 12 + 4},
        {"empty grid", {}, 16},
    };
    for (const Case& c : cases) {
        std::vector<std::string> files = saved_files(sheet_of(c.rows));
        ASSERT_EQ(files.size(), 1u) << c.name;
        EXPECT_EQ(files[0].size(), c.file_size) << c.name;
        EXPECT_EQ(test::sheet_rows(files[0]), c.rows) << c.name;
    }
}

TEST(SheetWriter, GridOperationsStayWithinTheGrid) {
    SheetWriter sheet;
    sheet.set_row_count(2);
    EXPECT_FALSE(sheet.set_cell(1, 1, "x"));  // no columns yet
    sheet.set_column_count(2);
    EXPECT_TRUE(sheet.set_cell(2, 2, "b"));
    EXPECT_FALSE(sheet.set_cell(3, 1, "x"));
    EXPECT_FALSE(sheet.set_cell(0, 1, "x"));
    EXPECT_FALSE(sheet.set_cell(1, 3, "x"));
    EXPECT_EQ(sheet.add_row(), 3);
    EXPECT_TRUE(sheet.set_cell(3, 1, "c"));
    EXPECT_EQ(sheet.get_cell(2, 2), "b");
    EXPECT_EQ(sheet.get_cell(3, 1), "c");
    EXPECT_EQ(sheet.get_cell(4, 1), "");
    EXPECT_EQ(sheet.get_cell(1, 0), "");
    sheet.set_column_count(1);  // discards every text
    EXPECT_EQ(sheet.get_cell(3, 1), "");

    SheetWriter copy;
    std::vector<std::string> files;
    copy.save_grid(sheet_of({{"h"}, {"r"}}), [&](int, std::string_view bytes) {
        files.emplace_back(bytes);
        return true;
    });
    EXPECT_EQ(copy.get_cell(2, 1), "r");
    EXPECT_EQ(files, saved_files(copy));
}

TEST(SheetWriter, LongGridsGoOnInFurtherFilesEachWithTheHeader) {
    struct Case {
        int data_rows;
        size_t files;
    } cases[] = {{0, 1}, {kSheetRowsPerFile, 1}, {kSheetRowsPerFile + 1, 2}, {2 * kSheetRowsPerFile + 7, 3}};
    for (const Case& c : cases) {
        SheetWriter sheet;
        sheet.set_column_count(1);
        sheet.set_row_count(c.data_rows + 1);
        sheet.set_cell(1, 1, "h");
        for (int r = 1; r <= c.data_rows; ++r)
            sheet.set_cell(r + 1, 1, std::to_string(r));
        std::vector<std::string> files = saved_files(sheet);
        ASSERT_EQ(files.size(), c.files) << c.data_rows;
        int next = 1;
        for (const std::string& file : files) {
            std::optional<Rows> rows = test::sheet_rows(file);
            ASSERT_TRUE(rows) << c.data_rows;
            ASSERT_LE(rows->size(), size_t{kSheetRowsPerFile} + 1);
            EXPECT_EQ((*rows)[0][0], "h");
            for (size_t r = 1; r < rows->size(); ++r)
                ASSERT_EQ((*rows)[r][0], std::to_string(next++)) << c.data_rows;
        }
        EXPECT_EQ(next, c.data_rows + 1);
    }
}

TEST(CutAtCharacter, NeverEndsInsideADoubleByteCharacter) {
    struct Case {
        std::string text;
        size_t limit;
        std::string cut;
    } cases[] = {
        {"abcdef", 4, "abcd"},
        {"ab", 4, "ab"},
        {"a\xD6\xD0\xCE\xC4", 4, "a\xD6\xD0"},    // the second character would straddle the limit
        {"ab\xD6\xD0\xCE\xC4", 4, "ab\xD6\xD0"},  // ends exactly after a character
        {"abc\x81\x30z", 4, "abc\x81"},           // a lead byte with no valid trail stands alone
        {"\xD6\xD0\xD6\xD0\xD6\xD0", 5, "\xD6\xD0\xD6\xD0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cut_at_character(c.text, c.limit), c.cut) << c.text;

    // A cell beyond a record's reach is cut to fit and the file stays readable.
    std::string long_text(2 * 40000, '\xD6');
    std::vector<std::string> files = saved_files(sheet_of({{long_text}}));
    std::optional<Rows> rows = test::sheet_rows(files.at(0));
    ASSERT_TRUE(rows);
    EXPECT_EQ((*rows)[0][0], long_text.substr(0, kSheetTextLimit - 1));
}

TEST(ContinuationPath, PutsTheNumberBeforeTheExtension) {
    struct Case {
        std::wstring path;
        int number;
        std::wstring result;
    } cases[] = {
        {L"C:\\out\\list.xls", 2, L"C:\\out\\list (2).xls"},
        {L"C:\\out\\list.2026.xls", 13, L"C:\\out\\list.2026 (13).xls"},
        {L"C:\\out.d\\list", 3, L"C:\\out.d\\list (3)"},
        {L"list", 2, L"list (2)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(continuation_path(c.path, c.number), c.result);
}

}  // namespace
}  // namespace quarnel
