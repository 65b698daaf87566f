// The browser engine in the test's own process, as on Windows: the child view's parent belongs
// to the same process, so the view draws the page's picture itself (no mirror), and what it
// draws is on the screen. Under Wine this is the one place that path runs.

#include "devtools/devtools_endpoints.h"
#include "host/chromium/chromium_engine.h"
#include "host/chromium/devtools_link.h"
#include "host/mirror_window.h"
#include "tests/win/host_test_support.h"
#include "winbase/files.h"

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

// A view that goes while the browser is still making its page leaves no page behind: each would
// keep a window and its renderer for as long as the browser runs.
TEST(ChromiumEngineInProcessTest, APageMadeForAViewThatWentIsClosed) {
    const wchar_t kBrowser[] = L"Z:\\usr\\bin\\chromium";
    if (GetFileAttributesW(kBrowser) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no chromium";
    TestHttpServer server;
    server.route("/second", HttpResponse{200, "text/html", "", "<title>Second</title>"});
    ASSERT_TRUE(server.start());
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(parent);
    test::TempFolder cache;
    {
        std::unique_ptr<host::PageEngine> engine =
            host::start_chromium_engine({.browsers = {kBrowser}, .cache_path = cache.path()});
        ASSERT_TRUE(engine);
        RecordedLoads events;
        std::unique_ptr<host::EngineView> view = engine->create_view({parent, RECT{0, 0, 400, 300}}, events);
        ASSERT_TRUE(view);
        view->navigate(server.wide_url("/second"));
        ASSERT_TRUE(pump_until([&] { return !events.statuses.empty(); }));
        // The test's own connection to the browser watches pages come and go.
        std::optional<std::string> file = win::read_file_bytes(cache.path() + L"\\Browser\\DevToolsActivePort");
        std::optional<devtools::ActivePort> port = file ? devtools::parse_active_port(*file) : std::nullopt;
        ASSERT_TRUE(port);
        host::DevToolsLink watcher([] { return static_cast<std::uint32_t>(GetTickCount()); });
        ASSERT_TRUE(watcher.connect(port->port, port->browser_path, 5000));
        std::string made;
        bool closed = false, watching = false;
        watcher.on_event = [&](const devtools::Message& event) {
            if (event.method == "Target.targetCreated" && devtools::string_at(event, "/targetInfo/type") == "page")
                made = devtools::string_at(event, "/targetInfo/targetId").value_or("");
            if (event.method == "Target.targetDestroyed" && !made.empty())
                closed = closed || devtools::string_at(event, "/targetId") == made;
        };
        watcher.send("Target.setDiscoverTargets", devtools::Params().flag("discover", true), {},
                     [&](const devtools::Message*) { watching = true; });
        ASSERT_TRUE(pump_until([&] { return watching; }));
        made.clear();  // the pages already open are told of first
        // The engine is ready: a new view asks for its page at once, and goes before the answer.
        engine->create_view({parent, RECT{0, 0, 400, 300}}, events).reset();
        ASSERT_TRUE(pump_until([&] { return !made.empty(); }));
        EXPECT_TRUE(pump_until([&] { return closed; }, 5000));
        watcher.close();
        view.reset();
        engine->shut_down();
    }
    DestroyWindow(parent);
}

}  // namespace
}  // namespace quarnel
