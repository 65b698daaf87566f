// The browser view control against the scripted host: starting the engine, the commands and
// their payloads, page-source requests and their bounded waits, the engine watch and resizing.

#include "tests/win/browser_view_fixture.h"

#include <cstdio>

namespace quarnel {
namespace {

using test::BrowserViewTest;
using test::pump_until;
namespace hp = host_protocol;

std::string handle_text(HWND hwnd) {
    return std::to_string(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hwnd)));
}

TEST_F(BrowserViewTest, CreatesAChildWindowOfItsOwnClass) {
    ASSERT_TRUE(make_view());
    HWND hwnd = view_->hwnd();
    EXPECT_EQ(GetParent(hwnd), parent_);
    LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    EXPECT_EQ(style & (WS_CHILD | WS_CLIPSIBLINGS), WS_CHILD | WS_CLIPSIBLINGS);
    RECT client{};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 880);
    EXPECT_EQ(client.bottom, 864);
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), name, &wc));
    EXPECT_EQ(wc.style & (CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW), UINT(CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(view_->host_window(), nullptr);
}

TEST_F(BrowserViewTest, StoredPropertiesRestoreAndALaterVersionIsRefused) {
    std::vector<std::uint8_t> stored = hp::save_browser_view_properties({"C:\\q\\User Data", "UA/2"});
    ASSERT_TRUE(make_view(880, 864, stored));
    EXPECT_EQ(view_->cache(), "C:\\q\\User Data");
    EXPECT_EQ(view_->user_agent(), "UA/2");
    EXPECT_EQ(view_->saved_properties(), stored);

    stored[0] = 2;
    EXPECT_EQ(make_view(880, 864, stored), nullptr);
}

TEST_F(BrowserViewTest, CommandLineHoldsBothPropertiesEvenWhenEmpty) {
    struct Case {
        std::string cache, user_agent, expected_tail;
    } cases[] = {
        {"", "", "--open-cache-path=\"\" --open-user-agent=\"\" --log="},
        // GBK bytes of the user agent reach the host converted by the ANSI code page.
        {"C:\\q\\User Data", "UA \xC4\xE3\xBA\xC3",
         "--open-cache-path=\"C:\\q\\User Data\" --open-user-agent=\"UA \xE4\xBD\xA0\xE5\xA5\xBD\" --log="},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(make_view());
        view_->set_cache(c.cache);
        view_->set_user_agent(c.user_agent);
        DeleteFileA(log_.c_str());
        ASSERT_TRUE(start());
        auto lines = logged("cmdline ");
        ASSERT_EQ(lines.size(), 1u);
        std::string line = lines[0].substr(8);
        std::string head = " --Open-Ver=1.0 --Open-Handler=";
        EXPECT_EQ(line.substr(0, head.size()), head);
        EXPECT_NE(line.find(" --Open-View=" + handle_text(view_->hwnd()) + " --open-cache-path="), std::string::npos)
            << line;
        EXPECT_NE(line.find(c.expected_tail), std::string::npos) << line;
        auto cwd = logged("cwd ");
        ASSERT_EQ(cwd.size(), 1u);
        EXPECT_EQ(_stricmp(cwd[0].substr(4).c_str(), test::scripted_host_dir().c_str()), 0) << cwd[0];
        view_->destroy();
    }
}

TEST_F(BrowserViewTest, ReadyHandshakeRecordsTheHostWindow) {
    ASSERT_TRUE(make_view());
    EXPECT_EQ(view_->engine_ready(), 0);
    ASSERT_TRUE(start());
    EXPECT_TRUE(IsWindow(view_->host_window()));
    EXPECT_EQ(view_->engine_ready(), 1);
    EXPECT_EQ(logged("8821").size(), 1u);
}

TEST_F(BrowserViewTest, ReadyMessageWithAForeignNumberIsIgnored) {
    ASSERT_TRUE(make_view());
    ASSERT_TRUE(start());
    HWND host = view_->host_window();
    // Any program may post the ready message; a number that is not the control's own is no handshake.
    SendMessageW(view_->hwnd(), hp::kHostReady, reinterpret_cast<WPARAM>(parent_), 12345);
    SendMessageW(view_->hwnd(), hp::kHostReady, reinterpret_cast<WPARAM>(parent_), 0);
    EXPECT_EQ(view_->host_window(), host);
}

TEST_F(BrowserViewTest, StartFailsAtOnceWithoutTheHostProgram) {
    ASSERT_TRUE(make_view());
    EXPECT_FALSE(view_->start_engine(folder_, ""));
    EXPECT_EQ(view_->engine_ready(), 0);
    EXPECT_FALSE(view_->create_child_view("http://a/"));
    view_->navigate(reinterpret_cast<std::intptr_t>(parent_), "http://a/");
    EXPECT_EQ(view_->get_page_source(static_cast<int>(reinterpret_cast<std::intptr_t>(parent_)), "", false), "");
}

TEST_F(BrowserViewTest, StartReturnsFalseWhenTheHostEndsBeforeItIsReady) {
    ASSERT_TRUE(make_view());
    // Ends before it has a window; ends later without ever reporting ready.
    for (const char* option : {"--exit-at-start", "--no-ready --exit-after=300"}) {
        DWORD started = GetTickCount();
        EXPECT_FALSE(start(option));
        printf("  start_engine gave up %lu ms after launch (%s)\n", GetTickCount() - started, option);
        EXPECT_EQ(view_->host_window(), nullptr);
    }
}

TEST_F(BrowserViewTest, CreateChildViewSendsAreaUrlAndCreate) {
    ASSERT_TRUE(make_view());
    ASSERT_TRUE(start());
    ASSERT_TRUE(view_->create_child_view("http://a/\xD6\xD0"));  // GBK for U+4E2D
    EXPECT_EQ(logged("8820 "), std::vector<std::string>{"8820 0 0 880 864 " + handle_text(view_->hwnd()) + " size 20"});
    EXPECT_EQ(logged("8818 "), std::vector<std::string>{"8818 http://a/\xE4\xB8\xAD size 22"});
    auto created = logged("8822 -> ");
    ASSERT_EQ(created.size(), 1u);
    EXPECT_NE(created[0], "8822 -> 0");

    // An empty URL travels as its NUL alone.
    ASSERT_TRUE(view_->create_child_view(""));
    EXPECT_EQ(logged("8818 ").back(), "8818  size 2");
}

TEST_F(BrowserViewTest, NavigateSendsOnlyForALiveViewAndANonEmptyUrl) {
    ASSERT_TRUE(make_view());
    ASSERT_TRUE(start());
    int child = make_child_view();
    ASSERT_NE(child, 0);
    HWND dead = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(dead);

    view_->navigate(child, "");
    view_->navigate(static_cast<int>(reinterpret_cast<std::intptr_t>(dead)), "http://dead/");
    view_->navigate(child, "http://b/");
    EXPECT_EQ(logged("8836 "), std::vector<std::string>{"8836 " + std::to_string(child) + " http://b/ size 24"});
}

TEST_F(BrowserViewTest, PageSourceReplies) {
    ASSERT_TRUE(make_view());
    ASSERT_TRUE(start());
    int child = make_child_view();
    ASSERT_NE(child, 0);
    struct Case {
        std::u16string script;
        std::string expected;
    } cases[] = {
        {u"text:<title>\u4E2D</title>", "<title>\xD6\xD0</title>"},
        {u"empty", ""},
        {u"plain", ""},
        {u"text:after plain", "after plain"},
    };
    for (const Case& c : cases) {
        script_reply(c.script);
        EXPECT_EQ(view_->get_page_source(child, "", false), c.expected);
    }
    EXPECT_EQ(logged("8848 ").front(), "8848 " + std::to_string(child) + " 0  size 12");

    // A named frame and the flag travel to the host.
    view_->get_page_source(child, "frame1", true);
    EXPECT_EQ(logged("8848 ").back(), "8848 " + std::to_string(child) + " 1 frame1 size 22");
}

TEST_F(BrowserViewTest, PageSourceForADeadViewSendsNothing) {
    ASSERT_TRUE(make_view());
    ASSERT_TRUE(start());
    HWND dead = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(dead);
    EXPECT_EQ(view_->get_page_source(static_cast<int>(reinterpret_cast<std::intptr_t>(dead)), "", false), "");
    EXPECT_TRUE(logged("8848 ").empty());
}

TEST_F(BrowserViewTest, PageSourceGivesUpOnAHostThatNeverAnswers) {
    view_args_.page_source_timeout_ms = 500;
    ASSERT_TRUE(make_view());
    ASSERT_TRUE(start());
    int child = make_child_view();
    script_reply(u"none");
    DWORD started = GetTickCount();
    EXPECT_EQ(view_->get_page_source(child, "", false), "");
    DWORD took = GetTickCount() - started;
    printf("  unanswered request gave up after %lu ms\n", took);
    EXPECT_GE(took + 100, view_args_.page_source_timeout_ms);
    // A late answer is dropped by the next request before it sends.
    script_reply(u"text:fresh");
    EXPECT_EQ(view_->get_page_source(child, "", false), "fresh");
}

TEST_F(BrowserViewTest, PageSourceEndsWhenTheHostDiesMidRequest) {
    ASSERT_TRUE(make_view());
    ASSERT_TRUE(start());
    int child = make_child_view();
    script_reply(u"die");
    DWORD started = GetTickCount();
    EXPECT_EQ(view_->get_page_source(child, "", false), "");
    printf("  request to a dying host ended after %lu ms\n", GetTickCount() - started);
    EXPECT_FALSE(logged("dying").empty());
}

// The answer to the pending request, given by a timer tick: it can only come while the wait runs
// the thread's timers.
HWND answering_view = nullptr;
void CALLBACK answer_on_tick(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    hp::Bytes payload = hp::encode_text(u"from a tick");
    COPYDATASTRUCT cds{hp::kPageSource, static_cast<DWORD>(payload.size()), payload.data()};
    SendMessageW(answering_view, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
}

TEST_F(BrowserViewTest, TimerTicksRunDuringAPageSourceWait) {
    ASSERT_TRUE(make_view());
    ASSERT_TRUE(start());
    int child = make_child_view();
    script_reply(u"none");
    answering_view = view_->hwnd();
    SetTimer(nullptr, 0, 100, &answer_on_tick);
    EXPECT_EQ(view_->get_page_source(child, "", false), "from a tick");
}

void CALLBACK post_quit(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    PostQuitMessage(5);
}

TEST_F(BrowserViewTest, QuitDuringAPageSourceWaitEndsItAndStaysForTheMessageLoop) {
    ASSERT_TRUE(make_view());
    ASSERT_TRUE(start());
    int child = make_child_view();
    script_reply(u"none");
    SetTimer(nullptr, 0, 200, &post_quit);
    DWORD started = GetTickCount();
    EXPECT_EQ(view_->get_page_source(child, "", false), "");
    printf("  the wait ended %lu ms after the request, on the quit message\n", GetTickCount() - started);
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);
}

TEST_F(BrowserViewTest, EngineWatchRaisesTerminatedOnceAfterTheHostWindowEnds) {
    view_args_.engine_watch_period_ms = 100;
    ASSERT_TRUE(make_view());
    int terminated = 0;
    BrowserViewEvents events;
    events.engine_terminated = [&] { ++terminated; };
    view_->set_events(events);
    ASSERT_TRUE(start());
    script(scripted_host::kCloseWindow, {});
    ASSERT_TRUE(wait_for_log("closing window"));
    DWORD closed = GetTickCount();
    EXPECT_TRUE(pump_until([&] { return terminated > 0; }));
    printf("  engine_terminated came %lu ms after the host window ended\n", GetTickCount() - closed);
    EXPECT_EQ(view_->host_window(), nullptr);
    // Later looks of the watch, run here at once, find no host to lose.
    for (int i = 0; i < 3; ++i)
        SendMessageW(view_->hwnd(), WM_TIMER, BrowserView::kEngineWatchTimer, 0);
    EXPECT_EQ(terminated, 1);
}

TEST_F(BrowserViewTest, ResizePostsTheSizeOnlyToALiveHost) {
    ASSERT_TRUE(make_view());
    view_->set_bounds(3, 40, 600, 500);
    ASSERT_TRUE(start());
    // The host takes posted messages in order, so once it has logged an engine-ready check
    // posted now, a size posted before it would be in the log too.
    PostMessageW(view_->host_window(), hp::kEngineReady, 0, 0);
    ASSERT_TRUE(wait_for_log("8821"));
    EXPECT_TRUE(logged("8850 ").empty());
    view_->set_bounds(3, 40, 500, 400);
    ASSERT_TRUE(wait_for_log("8850 "));
    EXPECT_EQ(logged("8850 "), std::vector<std::string>{"8850 500 400"});
}

}  // namespace
}  // namespace quarnel
