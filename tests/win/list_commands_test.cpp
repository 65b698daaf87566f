// The list's commands against the main window's list, with recorded outside effects, and the
// real clipboard once.

#include "main_window_insides.h"

#include "test_effects.h"
#include "win_test_util.h"
#include "winbase/text.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace quarnel {
namespace {

class ListCommandsTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(window.create());
        std::string text;
        for (char digit = '0'; digit <= '9'; ++digit)
            text.append("http://row").append(1, digit).append("/\r\n");
        inside.url_text_box.set_text(text);
        inside.address_list.read_urls();
    }
    void select(std::initializer_list<int> rows) {
        for (int row : rows)
            inside.url_list_view.select_row(row);
    }

    test::TempFolder folder;
    test::TestEffects* effects = new test::TestEffects;
    MainWindow window{folder.path(), std::unique_ptr<OutsideEffects>(effects)};
    MainWindowInsides inside{window};
};

TEST_F(ListCommandsTest, CopiesTakeSelectedRowsInAscendingOrderWithTheNotice) {
    ui::ListView& list = inside.url_list_view;
    list.set_cell_text(2, kTitleColumn, "two");
    list.set_cell_text(5, kTitleColumn, "");
    list.set_cell_text(9, kTitleColumn, "nine");
    select({5, 2, 9});
    inside.list_commands.copy_titles();
    inside.list_commands.copy_urls();
    ASSERT_EQ(effects->clipboard.size(), 2u);
    EXPECT_EQ(effects->clipboard[0], "two\r\nnine");  // the empty middle title leaves no empty line
    EXPECT_EQ(effects->clipboard[1], "http://row2/\r\nhttp://row5/\r\nhttp://row9/");
    ASSERT_EQ(effects->balloons.size(), 2u);
    EXPECT_EQ(effects->balloons[0].text, L"所选择的3个记录已经复制好标题了！\r\n\r\n请在需要处粘贴即可。");
    EXPECT_EQ(effects->balloons[1].text, L"所选择的3个记录已经复制好网址了！\r\n\r\n请在需要处粘贴即可。");
    EXPECT_EQ(effects->balloons[0].at.x, static_cast<LONG>(GetSystemMetrics(SM_CXSCREEN) / 2.0 - 50));
    EXPECT_TRUE(effects->boxes.empty());

    // One unvisited row: its title " ", no line break.
    list.deselect_row(2), list.deselect_row(9), list.deselect_row(5);
    select({7});
    inside.list_commands.copy_titles();
    EXPECT_EQ(effects->clipboard.back(), " ");

    // Nothing selected: the message, and the clipboard left alone.
    list.deselect_row(7);
    inside.list_commands.copy_urls();
    EXPECT_EQ(effects->clipboard.size(), 3u);
    ASSERT_EQ(effects->boxes.size(), 1u);
    EXPECT_EQ(effects->boxes[0].text, L"请先选择一个记录再操作！");
    EXPECT_EQ(effects->boxes[0].flags, UINT(MB_OK));
}

TEST_F(ListCommandsTest, SelectAllAndInvertTwiceRestoreTheSelection) {
    select({1, 4});
    inside.list_commands.invert_selection();
    EXPECT_EQ(inside.url_list_view.selected_rows(), (std::vector<int>{0, 2, 3, 5, 6, 7, 8, 9}));
    inside.list_commands.invert_selection();
    EXPECT_EQ(inside.url_list_view.selected_rows(), (std::vector<int>{1, 4}));
    EXPECT_EQ(GetFocus(), inside.url_list_view.hwnd());
    inside.list_commands.select_all_rows();
    EXPECT_EQ(inside.url_list_view.selected_rows().size(), 10u);
}

TEST_F(ListCommandsTest, OpeningActsOnTheLowestSelectedRowAndTheShownRow) {
    inside.list_commands.open_shown_row_in_default_browser();  // nothing shown yet
    inside.list_commands.open_in_default_browser();            // nothing selected
    EXPECT_TRUE(effects->opened.empty());

    select({6, 3});
    inside.list_commands.open_in_default_browser();
    inside.list_commands.show_row_in_browser_view();
    EXPECT_EQ(inside.visiting.shown_row(), 4);
    inside.url_list_view.deselect_row(3), inside.url_list_view.deselect_row(6);
    inside.list_commands.open_shown_row_in_default_browser();
    inside.list_commands.open_home_page();
    EXPECT_EQ(effects->opened, (std::vector<std::string>{"http://row3/", "http://row3/", window.servers.home_page}));

    // A double-click on no row clears the shown row.
    inside.list_commands.show_row_in_browser_view();
    EXPECT_EQ(inside.visiting.shown_row(), 0);
}

TEST_F(ListCommandsTest, BalloonPopsUpAtThePointAndASecondReplacesTheFirst) {
    ui::BalloonTip& balloon = inside.balloon_tip;
    balloon.pop_up(POINT{400, 300}, L"第一", true);
    EXPECT_TRUE(balloon.showing());
    balloon.pop_up(POINT{410, 310}, L"第二\r\n\r\n第三", true);
    EXPECT_TRUE(balloon.showing());
    wchar_t text[64] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = balloon.owner();
    tool.uId = 1;
    tool.lpszText = text;
    SendMessageW(balloon.hwnd(), TTM_GETTEXTW, 64, reinterpret_cast<LPARAM>(&tool));
    EXPECT_EQ(std::wstring(text), L"第二\r\n\r\n第三");
    balloon.hide();
    EXPECT_FALSE(balloon.showing());
}

TEST(Clipboard, HoldsTheAnsiTextForUnicodeReadersToo) {
    OutsideEffects real;
    real.set_clipboard_text(win::wide_to_ansi(L"标题\r\nhttp://a/"));
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    std::wstring text = data ? static_cast<const wchar_t*>(GlobalLock(data)) : L"";
    if (data)
        GlobalUnlock(data);
    CloseClipboard();
    EXPECT_EQ(text, L"标题\r\nhttp://a/");
}

}  // namespace
}  // namespace quarnel
