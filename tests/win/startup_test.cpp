#include "app/files.h"
#include "app/main_window.h"

#include "controls/popup_menu.h"
#include "win_test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace quarnel {
namespace {

class StartupTest : public testing::Test {
protected:
    void SetUp() override {
        if (GetSystemMetrics(SM_CXSCREEN) < 1440 || GetSystemMetrics(SM_CYSCREEN) < 1000)
            GTEST_SKIP() << "the screen is smaller than the window";
        ASSERT_TRUE(window.create());
    }
    void TearDown() override { ui::PopupMenu::set_tracker_for_testing(nullptr); }

    std::optional<std::string> url_file_bytes() { return read_file_bytes(window.url_file()); }

    // Moves the focus into the address box and out again, as a click elsewhere does.
    void focus_in_and_out() {
        ShowWindow(window.hwnd(), SW_SHOW);
        SetForegroundWindow(window.hwnd());
        SetFocus(window.url_text_box.hwnd());
        SetFocus(window.load_button.hwnd());
        test::pump_messages();
    }

    test::TempFolder folder;
    MainWindow window{folder.path()};
};

TEST_F(StartupTest, AddressFileIsReadUpToItsFirstNulAndWrittenBackWithoutIt) {
    folder.write_file(L"网址.txt", std::string("http://a/\r\nhttp://\xD6\xD0/\0http://hidden/", 30));
    window.load_url_text();
    EXPECT_EQ(window.url_text_box.text(), "http://a/\r\nhttp://\xD6\xD0/");
    focus_in_and_out();
    EXPECT_EQ(url_file_bytes(), "http://a/\r\nhttp://\xD6\xD0/");
}

TEST_F(StartupTest, MissingAddressFileGivesAnEmptyBoxAndIsCreatedOnFirstLossOfFocus) {
    window.load_url_text();
    EXPECT_EQ(window.url_text_box.text(), "");
    EXPECT_FALSE(url_file_bytes());
    focus_in_and_out();
    EXPECT_EQ(url_file_bytes(), "");

    window.url_text_box.set_text("http://typed/");
    focus_in_and_out();
    EXPECT_EQ(url_file_bytes(), "http://typed/");
}

TEST_F(StartupTest, FailedSaveLeavesTheOldFileWholeAndNoTemporaryFile) {
    std::wstring path = folder.write_file(L"网址.txt", "http://old/");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    window.url_text_box.set_text("http://new/");
    window.save_url_text();
    EXPECT_EQ(url_file_bytes(), "http://old/");
    EXPECT_EQ(GetFileAttributesW((path + L".saving").c_str()), INVALID_FILE_ATTRIBUTES);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(StartupTest, ClosingTheWindowKeepsTextTypedSinceTheLastSave) {
    window.load_url_text();
    window.url_text_box.set_text("http://typed-before-closing/");
    DestroyWindow(window.hwnd());
    EXPECT_EQ(url_file_bytes(), "http://typed-before-closing/");
}

TEST_F(StartupTest, EndOfTheWindowsSessionKeepsTextTypedSinceTheLastSave) {
    window.load_url_text();
    window.url_text_box.set_text("http://typed-before-logoff/");
    SendMessageW(window.hwnd(), WM_ENDSESSION, FALSE, 0);  // the session goes on: nothing to do
    EXPECT_FALSE(url_file_bytes());
    SendMessageW(window.hwnd(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(url_file_bytes(), "http://typed-before-logoff/");
}

TEST_F(StartupTest, ClosingWithUnchangedTextDoesNotWrite) {
    folder.write_file(L"网址.txt", std::string("http://a/\0tail", 14));
    window.load_url_text();
    DestroyWindow(window.hwnd());
    // Unchanged since loading: the file keeps even the bytes after its NUL.
    EXPECT_EQ(url_file_bytes(), std::string("http://a/\0tail", 14));
}

TEST_F(StartupTest, TrayLeftClicksToggleTheWindowAndShowItCentredAndRestored) {
    ShowWindow(window.hwnd(), SW_SHOW);
    window.on_tray_notify(kTrayLeftUp);
    EXPECT_FALSE(IsWindowVisible(window.hwnd()));

    // Moved away and minimised while shown, then hidden: showing again restores and re-centres.
    window.on_tray_notify(kTrayLeftUp);
    SetWindowPos(window.hwnd(), nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(window.hwnd(), SW_MINIMIZE);
    window.on_tray_notify(kTrayLeftDoubleClick);
    EXPECT_FALSE(IsWindowVisible(window.hwnd()));
    window.on_tray_notify(kTrayLeftUp);
    EXPECT_TRUE(IsWindowVisible(window.hwnd()));
    EXPECT_FALSE(IsIconic(window.hwnd()));
    RECT r{};
    GetWindowRect(window.hwnd(), &r);
    RECT area = ui::work_area_for(window.hwnd());
    EXPECT_EQ(r.right - r.left, 1400);
    EXPECT_EQ(r.left - area.left, area.right - r.right);

    // A double-click arrives as release, double-click, release: three toggles.
    for (UINT mouse : {WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        SendMessageW(window.hwnd(), kTrayMessage, kTrayIconId, mouse);
    EXPECT_FALSE(IsWindowVisible(window.hwnd()));
}

TEST_F(StartupTest, TrayRightClickShowsTheTrayMenuBesideThePointer) {
    HMENU shown = nullptr;
    POINT at{};
    ui::PopupMenu::set_tracker_for_testing([&](HMENU menu, HWND, POINT point) {
        shown = menu;
        at = point;
    });
    POINT cursor{};
    GetCursorPos(&cursor);
    SendMessageW(window.hwnd(), kTrayMessage, kTrayIconId, WM_RBUTTONUP);
    EXPECT_EQ(shown, window.tray_menu.handle());
    EXPECT_EQ(at.x, cursor.x + 3);
    EXPECT_EQ(at.y, cursor.y + 3);
}

}  // namespace
}  // namespace quarnel

namespace quarnel {
namespace {

TEST(BuiltInImages, HaveTheirStatedForms) {
    std::string_view page = default_page_icon();
    ASSERT_EQ(page.size(), 774u);
    EXPECT_EQ(page.substr(0, 2), "BM");

    // The tray icon: three 16 x 16 images, two at 8 bits per pixel and one at 32.
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
    ASSERT_TRUE(group);
    auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
    ASSERT_EQ(dir[4], 3);
    int eight = 0, thirty_two = 0;
    for (int i = 0; i < 3; ++i) {
        const BYTE* entry = dir + 6 + 14 * i;
        EXPECT_EQ(entry[0], 16);
        EXPECT_EQ(entry[1], 16);
        int bits = entry[6] | entry[7] << 8;
        eight += bits == 8;
        thirty_two += bits == 32;
    }
    EXPECT_EQ(eight, 2);
    EXPECT_EQ(thirty_two, 1);
}

TEST_F(StartupTest, DefaultPageIconIsShownInThePictureBox) {
    EXPECT_TRUE(window.favicon_picture.set_picture(default_page_icon()));
    EXPECT_TRUE(window.favicon_picture.bitmap());
    EXPECT_FALSE(window.favicon_picture.set_picture("not a picture"));
    EXPECT_FALSE(window.favicon_picture.bitmap());
}

}  // namespace
}  // namespace quarnel
