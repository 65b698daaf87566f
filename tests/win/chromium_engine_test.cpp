// The browser engine in the test's own process, as on Windows: the child view's parent belongs
// to the same process, so the view draws the page's picture itself (no mirror), and what it
// draws is on the screen. Under Wine this is the one place that path runs.

#include "devtools/devtools_endpoints.h"
#include "host/chromium/chromium_engine.h"
#include "host/chromium/devtools_link.h"
#include "host/mirror_window.h"
#include "tests/win/host_test_support.h"
#include "winbase/files.h"
#include "winbase/text.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>

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
        if (watcher_)
            watcher_->close();
        view_.reset();
        if (engine_)
            engine_->shut_down();
        engine_.reset();
        if (parent_)
            DestroyWindow(parent_);
    }

    // Starts the engine with a view in a window of `style` that has loaded the red page.
    void start(DWORD style, DWORD extended_style = 0, unsigned navigations_per_page = 500) {
        parent_ = CreateWindowExW(extended_style, L"STATIC", L"", style, 100, 100, 400, 300, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(parent_);
        engine_ = host::start_chromium_engine(
            {.browsers = {kBrowser}, .cache_path = cache_.path(), .navigations_per_page = navigations_per_page});
        ASSERT_TRUE(engine_);
        view_ = engine_->create_view({parent_, RECT{0, 0, 400, 300}}, events_);
        ASSERT_TRUE(view_);
        view_->navigate(server_.wide_url("/red"));
        ASSERT_TRUE(pump_until([&] { return !events_.statuses.empty(); }));
        EXPECT_EQ(events_.statuses.front(), 200);
    }

    // The test's own connection to the browser watches pages come and go from here on.
    void watch_pages() {
        std::optional<std::string> file = win::read_file_bytes(cache_.path() + L"\\Browser\\DevToolsActivePort");
        std::optional<devtools::ActivePort> port = file ? devtools::parse_active_port(*file) : std::nullopt;
        ASSERT_TRUE(port);
        watcher_.emplace([] { return static_cast<std::uint32_t>(GetTickCount()); });
        ASSERT_TRUE(watcher_->connect(port->port, port->browser_path, 5000));
        watcher_->on_event = [this](const devtools::Message& event) {
            std::string id = devtools::string_at(event, "/targetInfo/targetId").value_or("");
            if (event.method == "Target.targetCreated" && devtools::string_at(event, "/targetInfo/type") == "page")
                (watching_ ? made_ : open_pages_).insert(id);
            if (event.method == "Target.targetDestroyed")
                closed_.insert(devtools::string_at(event, "/targetId").value_or(""));
        };
        watcher_->send("Target.setDiscoverTargets", devtools::Params().flag("discover", true), {},
                       [this](const devtools::Message*) { watching_ = true; });
        ASSERT_TRUE(pump_until([&] { return watching_; }));
    }

    static constexpr wchar_t kBrowser[] = L"Z:\\usr\\bin\\chromium";
    TestHttpServer server_;
    TempFolder cache_;
    HWND parent_ = nullptr;
    std::unique_ptr<host::PageEngine> engine_;
    RecordedLoads events_;
    std::unique_ptr<host::EngineView> view_;
    std::optional<host::DevToolsLink> watcher_;
    bool watching_ = false;
    std::set<std::string> open_pages_, made_, closed_;  // pages open before watching, made and closed since
};

// Reads the screen: runs alone.
class ChromiumEngineOnScreenTest : public ChromiumEngineInProcessTest {};

TEST_F(ChromiumEngineOnScreenTest, TheViewDrawsThePageItselfWhenItsParentIsInItsProcess) {
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
    ASSERT_NO_FATAL_FAILURE(watch_pages());
    // The engine is ready: a new view asks for its page at once, and goes before the answer.
    engine_->create_view({parent_, RECT{0, 0, 400, 300}}, events_).reset();
    ASSERT_TRUE(pump_until([&] { return made_.size() == 1; }));
    EXPECT_TRUE(pump_until([&] { return closed_.contains(*made_.begin()); }, 15000))
        << made_.size() << " pages made, " << closed_.size() << " targets closed";
}

// After so many navigations a view's next one is made in a fresh page, in place of the page whose
// renderer grew with all it showed; what the site stored stays.
TEST_F(ChromiumEngineInProcessTest, AfterSoManyNavigationsTheNextIsMadeInAFreshPage) {
    server_.route("/store", HttpResponse{200, "text/html", "Set-Cookie: visit=kept\r\n", "<title>Store</title>"});
    server_.route("/read", HttpResponse{200, "text/html", "",
                                        "<body><script>document.body.textContent = 'cookie ' + document.cookie;"
                                        "</script></body>"});
    ASSERT_NO_FATAL_FAILURE(start(WS_POPUP, 0, 2));  // the red page is the first navigation
    ASSERT_NO_FATAL_FAILURE(watch_pages());
    auto loaded = [&](const char* path) {
        size_t before = events_.statuses.size();
        view_->navigate(server_.wide_url(path));
        return pump_until([&] { return events_.statuses.size() > before; }) && events_.statuses.back() == 200;
    };
    ASSERT_TRUE(loaded("/store"));
    EXPECT_TRUE(made_.empty());
    ASSERT_TRUE(loaded("/read"));
    EXPECT_EQ(made_.size(), 1u);
    // The page before is closed, and only it.
    auto closed_before = [&] {
        return std::count_if(open_pages_.begin(), open_pages_.end(),
                             [&](const std::string& id) { return closed_.contains(id); });
    };
    EXPECT_TRUE(pump_until([&] { return closed_before() == 1; }, 15000))
        << open_pages_.size() << " pages before, " << closed_.size() << " targets closed";
    std::optional<std::wstring> source;
    view_->request_page_source(L"", [&](std::optional<std::wstring> text) { source = text.value_or(L"(none)"); });
    ASSERT_TRUE(pump_until([&] { return source.has_value(); }));
    EXPECT_NE(source->find(L"cookie visit=kept"), std::wstring::npos) << win::wide_to_utf8(*source);
}

}  // namespace
}  // namespace quarnel
