#include "main_window_insides.h"

#include "app/page_icon.h"
#include "winbase/files.h"
#include "test_effects.h"
#include "win_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarnel {
namespace {

class AddressFileAndTrayTest : public testing::Test {
protected:
    void SetUp() override {
        if (GetSystemMetrics(SM_CXSCREEN) < 1440 || GetSystemMetrics(SM_CYSCREEN) < 1000)
            GTEST_SKIP() << "the screen is smaller than the window";
        ASSERT_TRUE(window.create());
    }

    std::optional<std::string> url_file_bytes() { return win::read_file_bytes(window.url_file()); }

    // Moves the focus into the address box and out again, as a click elsewhere does.
    void focus_in_and_out() {
        ShowWindow(window.hwnd(), SW_SHOW);
        SetForegroundWindow(window.hwnd());
        SetFocus(inside.url_text_box.hwnd());
        SetFocus(inside.load_button.hwnd());
        test::pump_messages();
    }

    test::TempFolder folder;
    test::TestEffects* effects = new test::TestEffects;
    MainWindow window{folder.path(), std::unique_ptr<OutsideEffects>(effects)};
    MainWindowInsides inside{window};
};

TEST_F(AddressFileAndTrayTest, AddressFileTheUserDidNotEditIsNeverRewritten) {
    const std::string utf16("\xFF\xFEh\0t\0t\0p\0:\0/\0/\0a\0/\0\r\0\n\0", 24);
    struct Case {
        const char* what;
        std::string bytes;
        std::string shown;
    } cases[] = {
        {"a NUL in the middle", std::string("http://a/\r\nhttp://\xD6\xD0/\0http://hidden/", 30),
         "http://a/\r\nhttp://\xD6\xD0/"},
        {"UTF-16 with its byte-order mark", utf16, ""},
        {"sequences that are not GBK", "http://a/\x81\x30/\x81\x7F/\r\nhttp://b/\x81", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempFolder own;
        own.write_file(L"网址.txt", c.bytes);
        MainWindow w(own.path());
        MainWindowInsides w_inside{w};
        ASSERT_TRUE(w.create());
        w_inside.address_file.load_url_text();
        if (!c.shown.empty()) {
            EXPECT_EQ(w_inside.url_text_box.text(), c.shown);
        }
        ShowWindow(w.hwnd(), SW_SHOW);
        SetFocus(w_inside.url_text_box.hwnd());
        SetFocus(w_inside.load_button.hwnd());
        test::pump_messages();
        EXPECT_EQ(win::read_file_bytes(w.url_file()), c.bytes);
        SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
        EXPECT_FALSE(IsWindow(w.hwnd()));
        EXPECT_EQ(win::read_file_bytes(w.url_file()), c.bytes);
    }
}

TEST_F(AddressFileAndTrayTest, EditedTextIsWrittenOnLossOfFocusAndAMissingFileOnlyOnceThereIsAnEdit) {
    inside.address_file.load_url_text();
    focus_in_and_out();
    EXPECT_FALSE(url_file_bytes());

    // A paste, as the user makes it: the box's own modification flag.
    SendMessageW(inside.url_text_box.hwnd(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"http://typed/中"));
    focus_in_and_out();
    EXPECT_EQ(url_file_bytes(), "http://typed/\xD6\xD0");

    // A new text set through the window, as another program may do.
    SendMessageW(inside.url_text_box.hwnd(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"http://set/"));
    focus_in_and_out();
    EXPECT_EQ(url_file_bytes(), "http://set/");
}

TEST_F(AddressFileAndTrayTest, UnchangedLargeTextIsNotWrittenOnLossOfFocus) {
    std::string text;
    for (int i = 0; i < 100000; ++i)
        text += "http://www.example" + std::to_string(i) + ".com/\r\n";
    std::wstring path = folder.write_file(L"网址.txt", text);
    FILETIME old{0x12345678, 0x01C00000};  // a time long past
    {
        win::UniqueFile file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &old));
    }
    inside.address_file.load_url_text();
    focus_in_and_out();
    focus_in_and_out();
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(CompareFileTime(&data.ftLastWriteTime, &old), 0);
}

TEST_F(AddressFileAndTrayTest, EditThatCannotBeSavedAsksBeforeTheWindowCloses) {
    std::wstring path = folder.write_file(L"网址.txt", "http://old/");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    inside.address_file.load_url_text();
    inside.url_text_box.set_text("http://new/");
    focus_in_and_out();  // silent

    int answer = IDYES;
    effects->answer = [&](const std::wstring&, const std::wstring&, UINT) { return answer; };
    SendMessageW(window.hwnd(), WM_CLOSE, 0, 0);
    ASSERT_EQ(effects->boxes.size(), 1u);
    EXPECT_EQ(effects->boxes[0].title, kNoticeTitle);
    EXPECT_TRUE(IsWindowVisible(window.hwnd()));
    EXPECT_EQ(inside.url_text_box.text(), "http://new/");

    answer = IDNO;
    SendMessageW(window.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(effects->boxes.size(), 2u);
    EXPECT_FALSE(IsWindow(window.hwnd()));
    EXPECT_EQ(url_file_bytes(), "http://old/");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(AddressFileAndTrayTest, FailedSaveLeavesTheOldFileWholeAndNoTemporaryFile) {
    std::wstring path = folder.write_file(L"网址.txt", "http://old/");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    inside.url_text_box.set_text("http://new/");
    inside.address_file.save_url_text();
    EXPECT_EQ(url_file_bytes(), "http://old/");
    EXPECT_EQ(GetFileAttributesW((path + L".saving").c_str()), INVALID_FILE_ATTRIBUTES);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(AddressFileAndTrayTest, ClosingTheWindowKeepsTextTypedSinceTheLastSave) {
    inside.address_file.load_url_text();
    inside.url_text_box.set_text("http://typed-before-closing/");
    DestroyWindow(window.hwnd());
    EXPECT_EQ(url_file_bytes(), "http://typed-before-closing/");
}

TEST_F(AddressFileAndTrayTest, EndOfTheWindowsSessionKeepsTextTypedSinceTheLastSave) {
    inside.address_file.load_url_text();
    inside.url_text_box.set_text("http://typed-before-logoff/");
    SendMessageW(window.hwnd(), WM_ENDSESSION, FALSE, 0);  // the session goes on: nothing to do
    EXPECT_FALSE(url_file_bytes());
    SendMessageW(window.hwnd(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(url_file_bytes(), "http://typed-before-logoff/");
}

TEST_F(AddressFileAndTrayTest, TrayLeftClicksToggleTheWindowAndShowItCentredAndRestored) {
    ShowWindow(window.hwnd(), SW_SHOW);
    inside.lifecycle.on_tray_notify(kTrayLeftUp);
    EXPECT_FALSE(IsWindowVisible(window.hwnd()));

    // Moved away and minimised while shown, then hidden: showing again restores and re-centres.
    inside.lifecycle.on_tray_notify(kTrayLeftUp);
    SetWindowPos(window.hwnd(), nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(window.hwnd(), SW_MINIMIZE);
    inside.lifecycle.on_tray_notify(kTrayLeftDoubleClick);
    EXPECT_FALSE(IsWindowVisible(window.hwnd()));
    inside.lifecycle.on_tray_notify(kTrayLeftUp);
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

TEST_F(AddressFileAndTrayTest, TrayRightClickShowsTheTrayMenuBesideThePointer) {
    POINT cursor{};
    GetCursorPos(&cursor);
    SendMessageW(window.hwnd(), kTrayMessage, kTrayIconId, WM_RBUTTONUP);
    ASSERT_EQ(effects->menus.size(), 1u);
    EXPECT_EQ(effects->menus[0].menu, inside.tray_menu.handle());
    EXPECT_EQ(effects->menus[0].at.x, cursor.x + 3);
    EXPECT_EQ(effects->menus[0].at.y, cursor.y + 3);
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

// The pixels the picture box holds, top row first, 0x00RRGGBB.
std::vector<uint32_t> picture_pixels(const ui::PictureBox& box) {
    BITMAP info{};
    GetObjectW(box.bitmap(), sizeof(info), &info);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = info.bmWidth;
    format.bmiHeader.biHeight = -info.bmHeight;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    std::vector<uint32_t> pixels(static_cast<size_t>(info.bmWidth) * info.bmHeight);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, box.bitmap(), 0, info.bmHeight, pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (uint32_t& p : pixels)
        p &= 0xFFFFFF;
    return pixels;
}

TEST_F(AddressFileAndTrayTest, PictureBoxShowsDecodedIconsAtSixteenBySixteenAndOnlyTheBackgroundForAPage) {
    EXPECT_TRUE(inside.favicon_picture.set_picture(default_page_icon()));
    EXPECT_EQ(picture_pixels(inside.favicon_picture).size(), 256u);

    // A 32 x 32 icon of opaque red whose left half is masked out: shrunk to 16 x 16, blended
    // over the button face colour.
    std::string header;
    auto le = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            header += static_cast<char>(v >> (8 * i));
    };
    le(0, 2), le(1, 2), le(1, 2);
    header += std::string{32, 32, 0, 0};
    le(1, 2), le(24, 2);
    std::string dib;
    auto dle = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            dib += static_cast<char>(v >> (8 * i));
    };
    dle(40, 4), dle(32, 4), dle(64, 4), dle(1, 2), dle(24, 2);
    dib += std::string(24, '\0');
    for (int i = 0; i < 32 * 32; ++i)
        dib += std::string("\0\0\xFF", 3);
    for (int y = 0; y < 32; ++y)
        dib += std::string("\xFF\xFF\0\0", 4);
    le(static_cast<uint32_t>(dib.size()), 4), le(6 + 16, 4);
    ASSERT_TRUE(inside.favicon_picture.set_picture(header + dib));
    std::vector<uint32_t> pixels = picture_pixels(inside.favicon_picture);
    ASSERT_EQ(pixels.size(), 256u);
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    uint32_t background = uint32_t{GetRValue(face)} << 16 | uint32_t{GetGValue(face)} << 8 | GetBValue(face);
    EXPECT_EQ(pixels[0], background);
    EXPECT_EQ(pixels[15], 0xFF0000u);
    EXPECT_EQ(pixels[255], 0xFF0000u);

    EXPECT_FALSE(inside.favicon_picture.set_picture("<html><body>404</body></html>"));
    EXPECT_FALSE(inside.favicon_picture.bitmap());
}

}  // namespace
}  // namespace quarnel
