// The browser engine in the test's own process, as on Windows: the child view's parent belongs
// to the same process, so the view draws the page's picture itself (no mirror), and what it
// draws is on the screen. Under Wine this is the one place that path runs.

#include "host/chromium/chromium_engine.h"
#include "host/mirror_window.h"
#include "tests/win/host_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace quarnel {
namespace {

using namespace test;

TEST(ChromiumEngineInProcessTest, TheViewDrawsThePageItselfWhenItsParentIsInItsProcess) {
    const wchar_t kBrowser[] = L"Z:\\usr\\bin\\chromium";
    if (GetFileAttributesW(kBrowser) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no chromium";
    TestHttpServer server;
    server.route("/red", HttpResponse{200, "text/html", "",
                                      "<style>html,body{margin:0;height:100%;background:#e01010}</style>"});
    ASSERT_TRUE(server.start());
    HWND parent = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 100, 100, 400,
                                  300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(parent);
    EXPECT_FALSE(host::needs_mirror(parent));
    test::TempFolder cache;
    {
        std::unique_ptr<host::PageEngine> engine =
            host::start_chromium_engine({.browsers = {kBrowser}, .cache_path = cache.path()});
        ASSERT_TRUE(engine);
        RecordedLoads events;
        std::unique_ptr<host::EngineView> view = engine->create_view({parent, RECT{0, 0, 400, 300}}, events);
        ASSERT_TRUE(view);
        std::string url = server.url("/red");
        view->navigate(std::wstring(url.begin(), url.end()));
        ASSERT_TRUE(pump_until([&] { return !events.statuses.empty(); }));
        EXPECT_EQ(events.statuses.front(), 200);
        auto red_on_screen = [] {
            HDC screen = GetDC(nullptr);
            COLORREF seen = GetPixel(screen, 300, 250);
            ReleaseDC(nullptr, screen);
            return GetRValue(seen) > 180 && GetGValue(seen) < 60 && GetBValue(seen) < 60;
        };
        EXPECT_TRUE(pump_until(red_on_screen, 15000));
        view.reset();
        engine->shut_down();
    }
    DestroyWindow(parent);
}

}  // namespace
}  // namespace quarnel
