#include "main_window_insides.h"

#include "controls/window.h"
#include "win_test_util.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <string>
#include <vector>

namespace quarnel {
namespace {

std::wstring window_text(HWND hwnd) {
    wchar_t buffer[256] = {};
    GetWindowTextW(hwnd, buffer, 256);
    return buffer;
}

RECT child_rect(HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool screen_holds_the_window() {
    return GetSystemMetrics(SM_CXSCREEN) >= 1440 && GetSystemMetrics(SM_CYSCREEN) >= 1000;
}

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        if (!screen_holds_the_window())
            GTEST_SKIP() << "the screen is smaller than the window";  // Windows limits the size to the screen
        ASSERT_TRUE(window.create());
        inside.layout_controls();
    }
    void resize(int width, int height) {
        SetWindowPos(window.hwnd(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

    test::TempFolder folder;
    MainWindow window{folder.path()};
    MainWindowInsides inside{window};
};

TEST_F(MainWindowTest, OpensCentredAtItsDesignSizeWithItsCaption) {
    RECT r{};
    GetWindowRect(window.hwnd(), &r);
    EXPECT_EQ(r.right - r.left, 1400);
    EXPECT_EQ(r.bottom - r.top, 942);
    RECT area = ui::work_area_for(nullptr);
    EXPECT_EQ(r.left - area.left, area.right - r.right);
    EXPECT_LE(std::abs((r.top - area.top) - (area.bottom - r.bottom)), 1);
    EXPECT_EQ(window_text(window.hwnd()), L"Quarnel网址管理器");
}

TEST_F(MainWindowTest, HasANormalResizableFrameWithoutMenuOrTopmost) {
    LONG style = GetWindowLongW(window.hwnd(), GWL_STYLE);
    LONG ex_style = GetWindowLongW(window.hwnd(), GWL_EXSTYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    EXPECT_EQ(ex_style & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW), 0);
    EXPECT_EQ(GetMenu(window.hwnd()), nullptr);
    EXPECT_FALSE(IsWindowVisible(window.hwnd()));
}

TEST_F(MainWindowTest, ControlsStartWithTheirDesignCaptionsAndStates) {
    struct Expected {
        HWND hwnd;
        const wchar_t* text;
        int left, top, width, height;
        bool visible, enabled;
    } expected[] = {
        {inside.title_label.hwnd(), L"欢迎使用 Quarnel网址管理器", 32, 9, 536, 24, true, true},
        {inside.auto_open_check.hwnd(), L"每隔：", 586, 8, 64, 24, true, true},
        {inside.interval_label.hwnd(), L"秒钟自动打开网址。", 722, 8, 120, 24, true, true},
        {inside.start_button.hwnd(), L"启动", 835, 8, 40, 24, false, true},
        {inside.url_text_caption.hwnd(), L"网址列表：（每行一个网址）", 885, 8, 171, 24, true, true},
        {inside.keep_on_top_check.hwnd(), L"窗口置顶", 1121, 8, 83, 24, true, true},
        {inside.clear_button.hwnd(), L"清空当前所有网址", 1264, 8, 121, 24, true, true},
        {inside.show_url_check.hwnd(), L"显示网址", 888, 228, 88, 24, true, true},
        {inside.show_title_check.hwnd(), L"显示标题", 980, 228, 88, 24, true, true},
        {inside.show_time_check.hwnd(), L"显示时间", 1072, 228, 88, 24, true, true},
        {inside.load_button.hwnd(), L"读入网址", 1248, 228, 136, 24, true, true},
        {inside.favicon_picture.hwnd(), L"", 5, 12, 16, 16, true, true},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(testing::Message() << "control at " << e.left << "," << e.top);
        EXPECT_EQ(window_text(e.hwnd), e.text);
        RECT r = child_rect(e.hwnd);
        EXPECT_EQ(r.left, e.left);
        EXPECT_EQ(r.top, e.top);
        EXPECT_EQ(r.right - r.left, e.width);
        EXPECT_EQ(r.bottom - r.top, e.height);
        EXPECT_EQ((GetWindowLongW(e.hwnd, GWL_STYLE) & WS_VISIBLE) != 0, e.visible);
        EXPECT_EQ(IsWindowEnabled(e.hwnd) != FALSE, e.enabled);
    }
    EXPECT_EQ(inside.interval_box.wide_text(), L"10");
    EXPECT_FALSE(inside.interval_box.enabled());
    EXPECT_FALSE(inside.interval_spinner.enabled());
    EXPECT_FALSE(inside.auto_open_check.checked());
    EXPECT_TRUE(inside.show_url_check.checked());
    EXPECT_TRUE(inside.show_title_check.checked());
    EXPECT_FALSE(inside.show_time_check.checked());
    EXPECT_TRUE(inside.balloon_tip.hwnd());
    EXPECT_EQ(inside.visit_timer.interval(), 0);
    EXPECT_EQ(inside.capture_timer.interval(), 0);

    ASSERT_EQ(inside.url_list_view.column_count(), 4);
    const char* captions[] = {"\xD0\xF2\xBA\xC5", "\xCD\xF8\xD6\xB7", "\xB1\xEA\xCC\xE2",
                              "\xD7\xEE\xBA\xF3\xE4\xAF\xC0\xC0\xCA\xB1\xBC\xE4"};  // in GBK
    int widths[] = {50, 200, 220, 0};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(inside.url_list_view.column_caption(c), captions[c]);
        EXPECT_EQ(inside.url_list_view.column_width(c), widths[c]);
    }
}

TEST_F(MainWindowTest, MenusHoldTheirItemsInOrder) {
    auto items = [](HMENU menu) {
        std::wstring all;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            wchar_t text[64] = {};
            GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            all += text[0] ? text : L"-";
            all += L"|";
        }
        return all;
    };
    EXPECT_EQ(items(inside.list_menu.handle()),
              L"复制网址|复制标题|-|从默认浏览器打开|-|导出表格|-|全选记录|反选记录|");
    EXPECT_EQ(items(inside.tray_menu.handle()), L"打开官网|-|退出软件|");
}

TEST_F(MainWindowTest, LayoutFollowsTheWindowSize) {
    auto check = [&](int view_w, int view_h, int right_left, int list_h) {
        RECT view = child_rect(inside.browser_view()->hwnd());
        RECT box = child_rect(inside.url_text_box.hwnd());
        RECT list = child_rect(inside.url_list_view.hwnd());
        EXPECT_EQ(view.left, 3);
        EXPECT_EQ(view.top, 40);
        EXPECT_EQ(view.right - view.left, view_w);
        EXPECT_EQ(view.bottom - view.top, view_h);
        EXPECT_EQ(box.left, right_left);
        EXPECT_EQ(box.top, 40);
        EXPECT_EQ(box.right - box.left, 500);
        EXPECT_EQ(box.bottom - box.top, 184);
        EXPECT_EQ(list.left, right_left);
        EXPECT_EQ(list.top, 256);
        EXPECT_EQ(list.right - list.left, 500);
        EXPECT_EQ(list.bottom - list.top, list_h);
    };
    {
        SCOPED_TRACE("design size");
        check(880, 856, 885, 640);
    }
    {
        SCOPED_TRACE("wider and taller");
        resize(1500, 1000);
        check(980, 914, 985, 698);
        // The option row stays where it was.
        EXPECT_EQ(child_rect(inside.load_button.hwnd()).left, 1248);
        EXPECT_EQ(child_rect(inside.url_text_caption.hwnd()).left, 885);
    }
    {
        SCOPED_TRACE("smaller than the margins");
        resize(300, 200);
        RECT outer{};
        GetWindowRect(window.hwnd(), &outer);
        if (outer.right - outer.left < 520) {
            RECT view = child_rect(inside.browser_view()->hwnd());
            EXPECT_EQ(view.right - view.left, 0);
            EXPECT_EQ(child_rect(inside.url_text_box.hwnd()).left, 5);
        }
    }
    {
        SCOPED_TRACE("minimised and restored");
        resize(1400, 942);
        ShowWindow(window.hwnd(), SW_SHOWMINNOACTIVE);
        ShowWindow(window.hwnd(), SW_RESTORE);
        check(880, 856, 885, 640);
    }
}

TEST_F(MainWindowTest, ColumnCheckBoxesApplyAllThreeWidths) {
    ui::ListView& list = inside.url_list_view;
    click(inside.show_title_check.hwnd());
    EXPECT_EQ(list.column_width(1), 200);
    EXPECT_EQ(list.column_width(2), 0);
    EXPECT_EQ(list.column_width(3), 0);
    click(inside.show_time_check.hwnd());
    EXPECT_EQ(list.column_width(2), 0);
    EXPECT_EQ(list.column_width(3), 180);
    click(inside.show_url_check.hwnd());
    click(inside.show_title_check.hwnd());
    EXPECT_EQ(list.column_width(0), 50);
    EXPECT_EQ(list.column_width(1), 0);
    EXPECT_EQ(list.column_width(2), 220);
    EXPECT_EQ(list.column_width(3), 180);
}

TEST_F(MainWindowTest, KeepOnTopMakesTheWindowTopmostAndBack) {
    click(inside.keep_on_top_check.hwnd());
    EXPECT_TRUE(GetWindowLongW(window.hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    click(inside.keep_on_top_check.hwnd());
    EXPECT_FALSE(GetWindowLongW(window.hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(MainWindowTest, AutoOpenCheckShowsStartButtonAndEnablesInterval) {
    click(inside.auto_open_check.hwnd());
    EXPECT_TRUE(inside.start_button.visible());
    EXPECT_TRUE(inside.interval_box.enabled());
    EXPECT_TRUE(inside.interval_spinner.enabled());

    // A running pass is not stopped by unticking: its timer and caption stay.
    inside.visit_timer.set_interval(10000);
    inside.start_button.set_caption(L"停止");
    click(inside.auto_open_check.hwnd());
    EXPECT_FALSE(inside.start_button.visible());
    EXPECT_FALSE(inside.interval_box.enabled());
    EXPECT_FALSE(inside.interval_spinner.enabled());
    EXPECT_EQ(inside.visit_timer.interval(), 10000);
    EXPECT_EQ(inside.start_button.caption(), L"停止");
}

TEST_F(MainWindowTest, TimerTicksOnTheWindowThreadAndAStopDropsATickAlreadyQueued) {
    const DWORD window_thread = GetCurrentThreadId();
    std::vector<DWORD> tick_threads;
    inside.capture_timer.on_tick = [&] { tick_threads.push_back(GetCurrentThreadId()); };
    inside.capture_timer.set_interval(20);
    ASSERT_TRUE(test::pump_until([&] { return tick_threads.size() >= 2; }, 10000));
    EXPECT_EQ(inside.capture_timer.interval(), 20);
    for (DWORD id : tick_threads)
        EXPECT_EQ(id, window_thread);

    // A restart and then a stop: the later setting wins, and a tick already queued does nothing.
    inside.capture_timer.set_interval(30);
    inside.capture_timer.set_interval(0);
    EXPECT_EQ(inside.capture_timer.interval(), 0);
    size_t ticks = tick_threads.size();
    PostMessageW(window.hwnd(), WM_TIMER, inside.capture_timer.id(), 0);
    test::pump_messages();
    EXPECT_EQ(tick_threads.size(), ticks);
}

TEST_F(MainWindowTest, SpinnerKeepsTheIntervalWithinFiveToOneHundredTwenty) {
    int low = 0, high = 0;
    SendMessageW(inside.interval_spinner.hwnd(), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                 reinterpret_cast<LPARAM>(&high));
    EXPECT_EQ(low, 5);
    EXPECT_EQ(high, 120);
    EXPECT_EQ(SendMessageW(inside.interval_spinner.hwnd(), UDM_GETPOS32, 0, 0), 10);
}

TEST_F(MainWindowTest, CtrlASelectsAllButOtherCombinationsDoNot) {
    HWND box = inside.url_text_box.hwnd();
    inside.url_text_box.set_text("http://a/\r\nhttp://b/");
    int length = GetWindowTextLengthW(box);
    auto selection = [&] {
        DWORD start = 0, end = 0;
        SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        return std::make_pair(static_cast<int>(start), static_cast<int>(end));
    };
    auto press = [&](UINT message, bool ctrl, bool shift, bool alt) {
        SendMessageW(box, EM_SETSEL, 0, 0);
        test::set_modifier_keys(ctrl, shift, alt);
        SendMessageW(box, message, 'A', 1);
        test::set_modifier_keys(false, false, false);
        return selection();
    };
    EXPECT_EQ(press(WM_KEYDOWN, true, false, false), std::make_pair(0, length));

    // Other combinations go on to the box unchanged and select nothing themselves (what the
    // system's own edit box then does with them is its business).
    for (unsigned modifiers :
         {unsigned(ui::kCtrl | ui::kShift), unsigned(ui::kAlt), unsigned(ui::kCtrl | ui::kAlt), 0u}) {
        SendMessageW(box, EM_SETSEL, 0, 0);
        EXPECT_TRUE(inside.select_all_on_ctrl_a('A', modifiers)) << modifiers;
        EXPECT_EQ(selection(), std::make_pair(0, 0)) << modifiers;
    }
    EXPECT_TRUE(inside.select_all_on_ctrl_a('B', ui::kCtrl));

    // A plain A types the letter.
    SendMessageW(box, EM_SETSEL, 0, 0);
    SendMessageW(box, WM_KEYDOWN, 'A', 1);
    SendMessageW(box, WM_CHAR, 'a', 1);
    EXPECT_EQ(inside.url_text_box.wide_text(), L"ahttp://a/\r\nhttp://b/");
}

// Every Windows test depends on the program seeing the Chinese ANSI code page, as on the
// systems it serves.
TEST(TestEnvironment, RunsInTheGbkCodePage) {
    EXPECT_EQ(GetACP(), 936u);
}

}  // namespace
}  // namespace quarnel
