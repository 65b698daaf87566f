#include "main_window_insides.h"

#include "test_effects.h"
#include "win_test_util.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace quarnel {
namespace {

class UrlListTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(window.create());
        inside.address_list.register_drop_targets();
    }

    std::vector<std::string> column(int c) {
        std::vector<std::string> cells;
        for (int r = 0; r < inside.url_list_view.row_count(); ++r)
            cells.push_back(inside.url_list_view.cell_text(r, c));
        return cells;
    }

    // Drops a data object on a target through its IDropTarget, as OLE does at the end of a drag.
    DWORD drop(ui::FileDropTarget* target, IDataObject* data) {
        DWORD effect = DROPEFFECT_COPY;
        POINTL at{0, 0};
        target->DragEnter(data, MK_LBUTTON, at, &effect);
        DWORD enter_effect = effect;
        effect = DROPEFFECT_COPY;
        target->Drop(data, MK_LBUTTON, at, &effect);
        data->Release();
        return enter_effect;
    }

    test::TempFolder folder;
    test::TestEffects* effects = new test::TestEffects;
    MainWindow window{folder.path(), std::unique_ptr<OutsideEffects>(effects)};
    MainWindowInsides inside{window};
};

using Strings = std::vector<std::string>;

TEST_F(UrlListTest, ReadUrlsRebuildsNumberedRowsFromTheAddressText) {
    // GBK text in the path survives the trip through the Unicode edit box.
    inside.url_text_box.set_text(
        "www.skip.com\r\nhttp://a/\xD6\xD0\xCE\xC4\r\n\r\nhttps://b/?u=http://c/\r\nhttp://a/\xD6\xD0\xCE\xC4\r\n");
    inside.address_list.read_urls();
    EXPECT_EQ(column(0), (Strings{"1", "2", "3"}));
    EXPECT_EQ(column(1), (Strings{"http://a/\xD6\xD0\xCE\xC4", "https://b/?u=", "http://a/\xD6\xD0\xCE\xC4"}));
    EXPECT_EQ(column(2), (Strings{" ", " ", " "}));
    EXPECT_EQ(column(3), (Strings{"", "", ""}));

    // Reading again resets captured titles and the selection, and never touches the text box.
    inside.url_list_view.set_cell_text(0, 2, "title");
    inside.url_list_view.select_row(1);
    std::wstring before = inside.url_text_box.wide_text();
    inside.address_list.read_urls();
    EXPECT_EQ(inside.url_list_view.cell_text(0, 2), " ");
    EXPECT_EQ(inside.url_list_view.current_row(), -1);
    EXPECT_EQ(inside.url_text_box.wide_text(), before);

    inside.url_text_box.set_text("");
    inside.address_list.read_urls();
    EXPECT_EQ(inside.url_list_view.row_count(), 0);
}

TEST_F(UrlListTest, ListOperationsKeepSelectionOnTheirRows) {
    ui::ListView& list = inside.url_list_view;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(list.insert_row(-1, std::to_string(i + 1)), i);
    list.select_row(1);
    list.select_row(3);
    list.select_row(-1);  // ignored, not "every row"
    EXPECT_EQ(list.selected_rows(), (std::vector<int>{1, 3}));
    EXPECT_EQ(list.current_row(), 1);

    // Inserting before selected rows moves their selection with them; the new row is unselected.
    EXPECT_EQ(list.insert_row(2, "new"), 2);
    EXPECT_EQ(list.selected_rows(), (std::vector<int>{1, 4}));
    EXPECT_FALSE(list.is_row_selected(2));
    EXPECT_EQ(list.cell_text(4, 0), "4");

    list.deselect_row(1);
    list.deselect_row(-1);
    EXPECT_EQ(list.selected_rows(), (std::vector<int>{4}));

    list.set_cell_text(99, 1, "ignored");
    list.set_cell_text(0, 1, "http://x/");
    EXPECT_EQ(list.cell_text(0, 1), "http://x/");
    EXPECT_EQ(list.cell_text(-1, 1), "");
    EXPECT_EQ(list.cell_text(99, 1), "");
    EXPECT_FALSE(list.is_row_selected(99));

    list.set_column_width(1, 123);
    EXPECT_EQ(list.column_width(1), 123);
    list.set_column_width(1, -7);  // counts as -2: sized to the header
    EXPECT_GT(list.column_width(1), 0);

    list.delete_all_rows();
    EXPECT_EQ(list.row_count(), 0);
    EXPECT_EQ(list.selected_rows(), std::vector<int>{});
}

TEST_F(UrlListTest, FileDroppedOnTheTextBoxReplacesItsTextOnly) {
    inside.url_text_box.set_text("http://old/");
    inside.address_list.read_urls();
    std::wstring file = folder.write_file(L"\x7F51\x5740.txt", "http://new/\r\n\xD6\xD0\0tail");
    EXPECT_EQ(drop(inside.address_list.text_drop_target.get(), test::make_file_data_object({file})),
              DWORD(DROPEFFECT_COPY));
    EXPECT_EQ(inside.url_text_box.text(), "http://new/\r\n\xD6\xD0");
    EXPECT_EQ(column(1), Strings{"http://old/"});
}

TEST_F(UrlListTest, FileDroppedOnTheListAlsoRebuildsTheRows) {
    std::wstring file = folder.write_file(L"list.txt", "http://a/\r\nhttp://b/");
    drop(inside.address_list.list_drop_target.get(), test::make_file_data_object({file}));
    EXPECT_EQ(inside.url_text_box.text(), "http://a/\r\nhttp://b/");
    EXPECT_EQ(column(1), (Strings{"http://a/", "http://b/"}));
}

TEST_F(UrlListTest, DropsThatNameNoReadableFileKeepTextAndRows) {
    inside.url_text_box.set_text("http://keep/");
    inside.address_list.read_urls();
    std::wstring a = folder.write_file(L"a.txt", "http://a/");
    std::wstring b = folder.write_file(L"b.txt", "http://b/");
    std::wstring empty = folder.write_file(L"empty.txt", "");
    std::wstring locked = folder.write_file(L"locked.txt", "http://locked/");
    HANDLE lock = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    struct Case {
        const char* what;
        std::vector<std::wstring> paths;
    } cases[] = {
        {"several files", {a, b}},
        {"a folder", {folder.path()}},
        {"an empty file", {empty}},
        {"a missing file", {folder.path() + L"\\missing.txt"}},
        {"a file opened without sharing", {locked}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        drop(inside.address_list.text_drop_target.get(), test::make_file_data_object(c.paths));
        drop(inside.address_list.list_drop_target.get(), test::make_file_data_object(c.paths));
        EXPECT_EQ(inside.url_text_box.text(), "http://keep/");
        EXPECT_EQ(column(1), Strings{"http://keep/"});
    }
    CloseHandle(lock);
}

TEST_F(UrlListTest, DropTargetsRefuseTextDrags) {
    inside.url_text_box.set_text("http://keep/");
    EXPECT_EQ(drop(inside.address_list.text_drop_target.get(), test::make_text_data_object(L"http://dragged/")),
              DWORD(DROPEFFECT_NONE));
    EXPECT_EQ(inside.url_text_box.text(), "http://keep/");
}

TEST_F(UrlListTest, SeveralDroppedPathsArriveJoinedWithCrLf) {
    IDataObject* data = test::make_file_data_object({L"C:\\a.txt", L"C:\\b.txt"});
    EXPECT_EQ(ui::FileDropTarget::dropped_paths(data), L"C:\\a.txt\r\nC:\\b.txt\r\n");
    data->Release();
    data = test::make_file_data_object({L"C:\\a.txt"});
    EXPECT_EQ(ui::FileDropTarget::dropped_paths(data), L"C:\\a.txt");
    data->Release();
}

TEST_F(UrlListTest, ClearAsksFirstAndClearsOnlyOnYes) {
    inside.url_text_box.set_text("http://a/");
    inside.address_list.read_urls();
    int answer = IDNO;
    effects->answer = [&](const std::wstring&, const std::wstring&, UINT) { return answer; };
    inside.address_list.clear_urls();
    ASSERT_EQ(effects->boxes.size(), 1u);
    EXPECT_EQ(effects->boxes[0].text, L"确定要清空当前所有网址吗？");
    EXPECT_EQ(effects->boxes[0].title, L"Quarnel提醒您：");
    EXPECT_EQ(effects->boxes[0].flags & (MB_TYPEMASK | MB_ICONMASK | MB_DEFMASK), UINT(MB_YESNO | MB_DEFBUTTON1));
    EXPECT_EQ(inside.url_text_box.text(), "http://a/");
    EXPECT_EQ(inside.url_list_view.row_count(), 1);

    answer = IDYES;
    inside.address_list.clear_urls();
    EXPECT_EQ(inside.url_text_box.text(), "");
    EXPECT_EQ(inside.url_list_view.row_count(), 0);
}

TEST_F(UrlListTest, RightClickShowsTheMenuOnlyOnARowWithAnAddress) {
    auto right_click = [&] {
        NMHDR header{inside.url_list_view.hwnd(), 0, static_cast<UINT>(NM_RCLICK)};
        SendMessageW(window.hwnd(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header));
    };
    inside.url_text_box.set_text("http://a/");
    inside.address_list.read_urls();
    inside.url_list_view.insert_row(-1, "2");  // a row without an address

    right_click();
    EXPECT_TRUE(effects->menus.empty()) << "no row selected";

    inside.url_list_view.select_row(1);
    right_click();
    EXPECT_TRUE(effects->menus.empty()) << "row without an address";

    inside.url_list_view.deselect_row(1);
    inside.url_list_view.select_row(0);
    POINT cursor{};
    GetCursorPos(&cursor);
    right_click();
    ASSERT_EQ(effects->menus.size(), 1u);
    EXPECT_EQ(effects->menus[0].menu, inside.list_menu.handle());
    EXPECT_EQ(effects->menus[0].at.x, cursor.x + 3);
    EXPECT_EQ(effects->menus[0].at.y, cursor.y + 3);
}

}  // namespace
}  // namespace quarnel
