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

// An engine on Debian's chromium with a page server, and a view of it in a window of the test's.
class ChromiumEngineInProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (GetFileAttributesW(kBrowser) == INVALID_FILE_ATTRIBUTES)
            GTEST_SKIP() << "no chromium";
        server_.route("/red", HttpResponse{200, "text/html", "",
                                           "<style>html,body{margin:0;height:100%;background:#e01010}</style>"});
        ASSERT_TRUE(server_.start());
    }
    void TearDown() override {
        view_.reset();
        if (engine_)
            engine_->shut_down();
        engine_.reset();
        if (parent_)
            DestroyWindow(parent_);
    }

    // Starts the engine with a view in a window of `style` that has loaded the red page.
    void start(DWORD style, DWORD extended_style = 0) {
        parent_ = CreateWindowExW(extended_style, L"STATIC", L"", style, 100, 100, 400, 300, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(parent_);
        engine_ = host::start_chromium_engine({.browsers = {kBrowser}, .cache_path = cache_.path()});
        ASSERT_TRUE(engine_);
        view_ = engine_->create_view({parent_, RECT{0, 0, 400, 300}}, events_);
        ASSERT_TRUE(view_);
        view_->navigate(server_.wide_url("/red"));
        ASSERT_TRUE(pump_until([&] { return !events_.statuses.empty(); }));
        EXPECT_EQ(events_.statuses.front(), 200);
    }

    static constexpr wchar_t kBrowser[] = L"Z:\\usr\\bin\\chromium";
    TestHttpServer server_;
    TempFolder cache_;
    HWND parent_ = nullptr;
    std::unique_ptr<host::PageEngine> engine_;
    RecordedLoads events_;
    std::unique_ptr<host::EngineView> view_;
};

TEST_F(ChromiumEngineInProcessTest, TheViewDrawsThePageItselfWhenItsParentIsInItsProcess) {
    ASSERT_NO_FATAL_FAILURE(start(WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, WS_EX_TOPMOST));
    EXPECT_FALSE(host::needs_mirror(parent_));
    auto red_on_screen = [] {
        HDC screen = GetDC(nullptr);
        COLORREF seen = GetPixel(screen, 300, 250);
        ReleaseDC(nullptr, screen);
        return GetRValue(seen) > 180 && GetGValue(seen) < 60 && GetBValue(seen) < 60;
    };
    EXPECT_TRUE(pump_until(red_on_screen, 15000));
}

// A view that goes while the browser is still making its page leaves no page behind: each would
// keep a window and its renderer for as long as the browser runs.
TEST_F(ChromiumEngineInProcessTest, APageMadeForAViewThatWentIsClosed) {
    ASSERT_NO_FATAL_FAILURE(start(WS_POPUP));
    // The test's own connection to the browser watches pages come and go.
    std::optional<std::string> file = win::read_file_bytes(cache_.path() + L"\\Browser\\DevToolsActivePort");
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
    engine_->create_view({parent_, RECT{0, 0, 400, 300}}, events_).reset();
    ASSERT_TRUE(pump_until([&] { return !made.empty(); }));
    EXPECT_TRUE(pump_until([&] { return closed; }, 5000));
    watcher.close();
}

}  // namespace
}  // namespace quarnel
