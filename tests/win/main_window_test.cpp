#include "app/main_window.h"

#include "controls/window.h"

#include <gtest/gtest.h>

#include <string>

namespace quarnel {
namespace {

std::wstring window_text(HWND hwnd) {
    wchar_t buffer[256] = {};
    GetWindowTextW(hwnd, buffer, 256);
    return buffer;
}

TEST(MainWindow, OpensCentredAtItsDesignSizeWithItsCaption) {
    if (GetSystemMetrics(SM_CXSCREEN) < 1440 || GetSystemMetrics(SM_CYSCREEN) < 1000)
        GTEST_SKIP() << "the screen is smaller than the window";  // Windows limits the size to the screen
    MainWindow window;
    ASSERT_TRUE(window.create());
    RECT r{};
    GetWindowRect(window.hwnd(), &r);
    EXPECT_EQ(r.right - r.left, 1400);
    EXPECT_EQ(r.bottom - r.top, 942);
    RECT area = ui::work_area_for(nullptr);
    EXPECT_EQ(r.left - area.left, area.right - r.right);
    EXPECT_LE(std::abs((r.top - area.top) - (area.bottom - r.bottom)), 1);
    EXPECT_EQ(window_text(window.hwnd()), L"Quarnel网址管理器");
}

TEST(MainWindow, HasANormalResizableFrameWithoutMenuOrTopmost) {
    MainWindow window;
    ASSERT_TRUE(window.create());
    LONG style = GetWindowLongW(window.hwnd(), GWL_STYLE);
    LONG ex_style = GetWindowLongW(window.hwnd(), GWL_EXSTYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    EXPECT_EQ(ex_style & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW), 0);
    EXPECT_EQ(GetMenu(window.hwnd()), nullptr);
    EXPECT_FALSE(IsWindowVisible(window.hwnd()));
}

}  // namespace
}  // namespace quarnel

namespace quarnel {
namespace {

// Every Windows test depends on the program seeing the Chinese ANSI code page, as on the
// systems it serves.
TEST(TestEnvironment, RunsInTheGbkCodePage) {
    EXPECT_EQ(GetACP(), 936u);
}

}  // namespace
}  // namespace quarnel
