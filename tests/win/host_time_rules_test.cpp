// The browser host's rules about time, on a clock the test moves: the engine and its DevTools link
// run in the test's own process with a clock of the test's. Their timers still look at the clock
// at their short periods, so a test moves the clock past a deadline and pumps until the next look
// acts; nothing waits the real span.

#include "devtools/websocket.h"
#include "host/chromium/chromium_engine.h"
#include "host/chromium/devtools_link.h"
#include "tests/win/host_test_support.h"
#include "winbase/files.h"
#include "winbase/handles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

namespace quarnel {
namespace {

using namespace test;

// Not 0, which the host takes for "never".
constexpr std::uint32_t kStart = 100000;

// A Windows program that writes no DevTools port: for the host it is a browser that never answers.
constexpr wchar_t kSilentBrowser[] = L"C:\\windows\\system32\\hostname.exe";
constexpr wchar_t kChromium[] = L"Z:\\usr\\bin\\chromium";

struct EngineWait {
    const char* name;
    bool profile_held;      // by another browser, which keeps its lock file open
    std::uint32_t wait_ms;  // how long the host waits
    const char* then;       // what the engine's log says once it stopped waiting
};

class EngineWaitTest : public ::testing::TestWithParam<EngineWait> {};

// A browser that writes no port is given up after 15 s, and the built-in engine serves; a profile
// another browser holds is waited for 5 s, then set aside. Neither a moment before.
TEST_P(EngineWaitTest, TheEngineStopsWaitingAtItsDeadline) {
    const EngineWait& row = GetParam();
    TempFolder cache;
    win::UniqueFile lock;
    if (row.profile_held) {
        CreateDirectoryW((cache.path() + L"\\Browser").c_str(), nullptr);
        lock.reset(CreateFileW((cache.path() + L"\\Browser\\lockfile").c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(lock);
    }
    std::uint32_t now = kStart;
    std::unique_ptr<host::PageEngine> engine = host::start_chromium_engine(
        {.browsers = {kSilentBrowser}, .cache_path = cache.path(), .clock = [&now] { return now; }});
    ASSERT_TRUE(engine);
    pump_messages();  // the first launch: the profile found held, or the browser started
    auto log = [&] { return win::read_file_bytes(cache.path() + L"\\host-engine.log").value_or(""); };
    now += row.wait_ms - 1;
    pump_for(600);  // the engine looks at the clock a few times meanwhile
    EXPECT_EQ(log().find(row.then), std::string::npos) << log();
    EXPECT_STREQ(engine->name(), L"chromium");
    now += 1;
    EXPECT_TRUE(pump_until([&] { return log().find(row.then) != std::string::npos; }, 5000)) << log();
    if (!row.profile_held) {
        EXPECT_STREQ(engine->name(), L"builtin");
    }
    engine->shut_down();
}

INSTANTIATE_TEST_SUITE_P(
    Waits,
    EngineWaitTest,
    ::testing::Values(EngineWait{"PortNeverWritten", false, 15000, "wrote no DevToolsActivePort within 15 s"},
                      EngineWait{"ProfileHeld", true, 5000, "(another browser still held it after 5 s)"}),
    [](const auto& row) { return std::string(row.param.name); });

// A browser that takes the connection and answers nothing: the command fails after 10 s, so the
// host goes on.
TEST(DevToolsLinkTimeTest, ACommandLeftUnansweredFailsAfterTenSeconds) {
    LoopbackHttpServer browser([](SOCKET s, const std::string& request) {
        const std::string kKey = "Sec-WebSocket-Key: ";
        size_t at = request.find(kKey) + kKey.size();
        LoopbackHttpServer::send_all(s,
                                     "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                                     "Connection: Upgrade\r\nSec-WebSocket-Accept: " +
                                         websocket::accept_value(request.substr(at, request.find('\r', at) - at)) +
                                         "\r\n\r\n");
        char buffer[4096];
        for (int got;
             (got = recv(s, buffer, sizeof(buffer), 0)) > 0 || (got < 0 && WSAGetLastError() == WSAETIMEDOUT);) {
        }
    });
    std::uint32_t now = kStart;
    host::DevToolsLink link([&now] { return now; });
    ASSERT_TRUE(link.connect(browser.port(), "/devtools/browser/silent", 5000));
    std::optional<bool> replied;  // whether the outcome was a reply
    link.send("Browser.getVersion", {}, {}, [&](const host::Message* reply) { replied = reply != nullptr; });
    now += 9999;
    pump_for(1200);  // the link looks once a second
    EXPECT_FALSE(replied);
    now += 1;
    ASSERT_TRUE(pump_until([&] { return replied.has_value(); }, 5000));
    EXPECT_FALSE(*replied);
    link.close();
}

// A page whose script never yields leaves its source unanswered: after 4 s the request is
// answered with nothing, the page is replaced, and the next address loads and gives its source.
// Sent elsewhere once it has left the source unanswered for 1 s, the view makes the next page in
// a fresh page at once, instead of waiting for the page to take the navigation.
TEST(ChromiumViewTimeTest, APageThatLeavesItsSourceUnansweredIsReplaced) {
    if (GetFileAttributesW(kChromium) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no chromium";
    TestHttpServer server;
    server.route("/busy", HttpResponse{200, "text/html", "",
                                       "<title>Busy</title><script>addEventListener('load', () => "
                                       "setTimeout(() => { for (;;) {} }, 0));</script>"});
    server.route("/second", HttpResponse{200, "text/html", "", "<title>Second</title><p>second</p>"});
    ASSERT_TRUE(server.start());
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(parent);
    TempFolder cache;
    std::uint32_t now = kStart;
    {
        std::unique_ptr<host::PageEngine> engine = host::start_chromium_engine(
            {.browsers = {kChromium}, .cache_path = cache.path(), .clock = [&now] { return now; }});
        ASSERT_TRUE(engine);
        RecordedLoads loads;
        std::unique_ptr<host::EngineView> view = engine->create_view({parent, RECT{0, 0, 400, 300}}, loads);
        ASSERT_TRUE(view);
        auto loaded = [&](const std::string& path) {
            size_t before = loads.statuses.size();
            view->navigate(server.wide_url(path));
            return pump_until([&] { return loads.statuses.size() > before && loads.statuses.back() == 200; });
        };
        std::optional<std::optional<std::wstring>> source;
        auto ask_source = [&] {
            source.reset();
            view->request_page_source(L"", [&](std::optional<std::wstring> text) { source = std::move(text); });
        };
        ASSERT_TRUE(loaded("/busy"));
        ask_source();
        now += 3999;
        pump_for(600);  // the view looks at its requests a few times meanwhile
        EXPECT_FALSE(source);
        now += 1;
        ASSERT_TRUE(pump_until([&] { return source.has_value(); }, 5000));
        EXPECT_FALSE(*source);

        const std::wstring kSecond = L"<html><head><title>Second</title></head><body><p>second</p></body></html>";
        ASSERT_TRUE(loaded("/second"));
        ask_source();
        ASSERT_TRUE(pump_until([&] { return source.has_value(); }));
        EXPECT_EQ(source->value_or(L""), kSecond);

        ASSERT_TRUE(loaded("/busy"));
        ask_source();
        now += 999;
        view->navigate(server.wide_url("/second"));
        EXPECT_FALSE(source);  // not yet given up: the navigation is made in the page
        now += 1;
        size_t before = loads.statuses.size();
        view->navigate(server.wide_url("/second"));
        ASSERT_TRUE(source);  // given up as the navigation is asked for
        EXPECT_FALSE(*source);
        ASSERT_TRUE(pump_until([&] { return loads.statuses.size() > before && loads.statuses.back() == 200; }));
        ask_source();
        ASSERT_TRUE(pump_until([&] { return source.has_value(); }));
        EXPECT_EQ(source->value_or(L""), kSecond);
        view.reset();
        engine->shut_down();
    }
    DestroyWindow(parent);
}

}  // namespace
}  // namespace quarnel
