// The host's notifications as the browser view's events, against the scripted host: each kind
// with its arguments, the bit fields, the answers of the events raised at once, the order of a
// burst, when queued events run, and the control's end inside a handler.

#include "tests/win/browser_view_fixture.h"

#include <algorithm>
#include <memory>

namespace quarnel {
namespace {

using test::BrowserViewTest;
using test::pump_until;
namespace hp = host_protocol;

// Every event the handlers saw, as text; each must run on the window thread.
class EventRecorder {
public:
    void add(std::string event) {
        EXPECT_EQ(GetCurrentThreadId(), main_thread_) << event;
        events_.push_back(std::move(event));
    }
    std::vector<std::string> take() { return std::exchange(events_, {}); }
    size_t size() const { return events_.size(); }
    bool has(const std::string& event) const {
        return std::find(events_.begin(), events_.end(), event) != events_.end();
    }

    BrowserViewEvents handlers() {
        auto u8 = [](std::wstring_view text) { return win::wide_to_utf8(text); };
        auto n = [](auto v) { return std::to_string(v); };
        BrowserViewEvents e;
        e.view_created = [=, this](int v) { add("view_created " + n(v)); };
        e.view_closing = [=, this](int v) { add("view_closing " + n(v)); };
        e.load_started = [=, this](int v, std::wstring_view f) { add("load_started " + n(v) + " [" + u8(f) + "]"); };
        e.load_finished = [=, this](int v, std::wstring_view f, int status) {
            add("load_finished " + n(v) + " [" + u8(f) + "] " + n(status));
        };
        e.page_ready = [=, this](int v) { add("page_ready " + n(v)); };
        e.loading_state_changed = [=, this](int v, bool loading, bool back, bool forward) {
            add("loading_state_changed " + n(v) + " " + n(loading) + n(back) + n(forward));
        };
        e.new_window = [=, this](int v, std::wstring_view url, std::wstring_view frame, int disposition) {
            add("new_window " + n(v) + " " + u8(url) + " [" + u8(frame) + "] " + n(disposition));
            return new_window_answer;
        };
        e.address_changed = [=, this](int v, std::wstring_view t) { add("address_changed " + n(v) + " " + u8(t)); };
        e.title_changed = [=, this](int v, std::wstring_view t) { add("title_changed " + n(v) + " " + u8(t)); };
        e.status_text_changed = [=, this](int v, std::wstring_view t) {
            add("status_text_changed " + n(v) + " " + u8(t));
        };
        e.console_message = [=, this](int v, std::wstring_view t) { add("console_message " + n(v) + " " + u8(t)); };
        e.engine_terminated = [this] { add("engine_terminated"); };
        e.resource_found = [=, this](int v, int kind) { add("resource_found " + n(v) + " " + n(kind)); };
        e.context_menu = [=, this](int v, bool editable, int flags) {
            add("context_menu " + n(v) + " " + n(editable) + " " + n(flags));
        };
        e.key_event = [=, this](int v, int type, int state, int code) {
            add("key_event " + n(v) + " " + n(type) + " " + n(state) + " " + n(code));
        };
        return e;
    }

    bool new_window_answer = true;

private:
    DWORD main_thread_ = GetCurrentThreadId();
    std::vector<std::string> events_;
};

std::vector<std::uint8_t> view_text(std::uint32_t view, std::u16string_view text) {
    return hp::encode_view_text({view, std::u16string(text)});
}

class BrowserViewEventsTest : public BrowserViewTest {
protected:
    void start_with_recorder() {
        ASSERT_TRUE(make_view());
        view_->set_events(recorder_.handlers());
        ASSERT_TRUE(start());
    }
    EventRecorder recorder_;
};

TEST_F(BrowserViewEventsTest, EachNotificationRaisesItsEvent) {
    start_with_recorder();
    struct Case {
        const char* what;
        std::function<void(BrowserViewEventsTest&)> send;
        std::string expected;  // "" when nothing may be raised
    } cases[] = {
        {"plain load started", [](auto& t) { t.host_posts(0x8824, 7, 0); }, "load_started 7 []"},
        {"load started with frame", [](auto& t) { t.host_sends(0x8824, view_text(7, u"f1")); }, "load_started 7 [f1]"},
        {"view created", [](auto& t) { t.host_posts(0x8825, 0, 5); }, "view_created 5"},
        {"view closing", [](auto& t) { t.host_posts(0x8826, 0, 5); }, "view_closing 5"},
        {"page ready", [](auto& t) { t.host_posts(0x8827, 0, 5); }, "page_ready 5"},
        {"load finished",
         [](auto& t) {
             t.host_sends(0x8828, hp::encode_load_finished({5, -404, u"main"}));
         },
         "load_finished 5 [main] -404"},
        {"loading state 1,0,1", [](auto& t) { t.host_posts(0x8829, 5, 0x010001); }, "loading_state_changed 5 101"},
        {"address", [](auto& t) { t.host_sends(0x8830, view_text(5, u"http://a/")); }, "address_changed 5 http://a/"},
        {"title", [](auto& t) { t.host_sends(0x8831, view_text(5, u"\u6807\u9898")); },
         "title_changed 5 \xE6\xA0\x87\xE9\xA2\x98"},
        {"status", [](auto& t) { t.host_sends(0x8832, view_text(5, u"")); }, "status_text_changed 5 "},
        {"console", [](auto& t) { t.host_sends(0x8833, view_text(5, u"log")); }, "console_message 5 log"},
        {"resource", [](auto& t) { t.host_posts(0x8854, 5, 3); }, "resource_found 5 3"},
        // Key state 2, key type 1, key code 65.
        {"key event", [](auto& t) { t.host_posts(0x8860, 5, 2 | 1 << 8 | 65 << 16); }, "key_event 5 1 2 65"},
        {"context menu", [](auto& t) { t.host_posts(0x8859, 5, 0xFFFE0001); }, "context_menu 5 1 -2"},
        {"new window",
         [](auto& t) {
             t.host_sends(0x8834, hp::encode_new_window({5, 3, u"fr", u"http://n/"}));
         },
         "new_window 5 http://n/ [fr] 3"},
        {"ignored 0x8823", [](auto& t) { t.host_posts(0x8823, 5, 5); }, ""},
        {"short title",
         [](auto& t) {
             t.host_sends(0x8831, {5, 0});
         },
         ""},
    };
    // After each case the host posts a page-ready marker. The host sends in order (waiting for
    // each WM_COPYDATA to be taken), the view takes posted messages in order and delivers events
    // in order, so once the marker's event has come, whatever the case raised has come before it.
    const std::string marker = "page_ready 99";
    for (const Case& c : cases) {
        c.send(*this);
        host_posts(0x8827, 0, 99);
        EXPECT_TRUE(pump_until([&] { return recorder_.has(marker); })) << c.what;
        std::vector<std::string> expected;
        if (!c.expected.empty())
            expected.push_back(c.expected);
        expected.push_back(marker);
        EXPECT_EQ(recorder_.take(), expected) << c.what;
    }
}

TEST_F(BrowserViewEventsTest, NewWindowAnswersWhatTheHandlerAnsweredAndZeroWithoutOne) {
    ASSERT_TRUE(make_view());
    ASSERT_TRUE(start());
    auto payload = hp::encode_new_window({5, 1, u"", u"http://n/"});
    struct Case {
        bool has_handler;
        bool answer;
        std::string expected_result;
    } cases[] = {{false, true, "result 8834 0"}, {true, true, "result 8834 1"}, {true, false, "result 8834 0"}};
    for (const Case& c : cases) {
        recorder_.new_window_answer = c.answer;
        BrowserViewEvents events = recorder_.handlers();
        if (!c.has_handler)
            events.new_window = nullptr;
        view_->set_events(events);
        size_t before = logged("result 8834").size();
        host_sends(0x8834, payload);
        ASSERT_TRUE(pump_until([&] { return logged("result 8834").size() > before; }));
        EXPECT_EQ(logged("result 8834").back(), c.expected_result);
    }
}

TEST_F(BrowserViewEventsTest, ContextMenuAlwaysAnswersOne) {
    ASSERT_TRUE(make_view());
    EXPECT_EQ(SendMessageW(view_->hwnd(), 0x8859, 5, 1), 1);
    view_->set_events(recorder_.handlers());
    EXPECT_EQ(SendMessageW(view_->hwnd(), 0x8859, 5, 0x00020000), 1);
    EXPECT_EQ(recorder_.take(), std::vector<std::string>{"context_menu 5 0 2"});
}

// A handler that dispatches messages (every tenth here) gets no later event inside it.
TEST_F(BrowserViewEventsTest, BurstArrivesInOrderOneAtATime) {
    ASSERT_TRUE(make_view());
    std::vector<std::string> texts;
    int running = 0;
    bool overlapped = false;
    BrowserViewEvents events;
    events.status_text_changed = [&](int, std::wstring_view text) {
        if (++running > 1)
            overlapped = true;
        texts.push_back(win::wide_to_utf8(text));
        if (texts.size() % 10 == 0)
            test::pump_messages();
        --running;
    };
    view_->set_events(events);
    ASSERT_TRUE(start());
    constexpr std::uint32_t kCount = 1000;
    std::vector<std::uint8_t> burst;
    append_u32(burst, kCount);
    append_u32(burst, 9);
    script(scripted_host::kBurst, burst);
    ASSERT_TRUE(pump_until([&] { return texts.size() >= kCount; }, 60000));
    ASSERT_EQ(texts.size(), kCount);
    for (std::uint32_t i = 0; i < kCount; ++i)
        ASSERT_EQ(texts[i], std::to_string(i));
    EXPECT_FALSE(overlapped);
}

// Waits for `done` without taking this thread's messages: what comes true meanwhile does so
// without this thread.
template <typename Done>
bool wait_without_dispatching(Done done, DWORD timeout_ms = 15000) {
    for (DWORD start = GetTickCount(); !done();) {
        if (GetTickCount() - start >= timeout_ms)
            return false;
        Sleep(10);
    }
    return true;
}

// A queued handler runs once the host has the answer to the message that carried the event, and
// never inside a handler raised at once, whose host waits for its answer.
TEST_F(BrowserViewEventsTest, QueuedHandlersRunAfterTheHostHasItsAnswer) {
    ASSERT_TRUE(make_view());
    BrowserViewEvents events = recorder_.handlers();
    bool answered_first = false;
    events.status_text_changed = [&](int, std::wstring_view) {
        answered_first = wait_without_dispatching([&] { return !logged("result 8832").empty(); });
        recorder_.add("status");
    };
    events.context_menu = [&](int, bool, int) {
        recorder_.add("menu begins");
        PostMessageW(view_->hwnd(), hp::kPageReady, 0, 5);
        test::pump_messages();
        recorder_.add("menu ends");
    };
    view_->set_events(events);
    ASSERT_TRUE(start());
    host_sends(hp::kStatusTextChanged, view_text(5, u"slow"));
    ASSERT_TRUE(pump_until([&] { return recorder_.size() == 1; }));
    EXPECT_TRUE(answered_first);

    EXPECT_EQ(SendMessageW(view_->hwnd(), hp::kContextMenu, 5, 0), 1);
    ASSERT_TRUE(pump_until([&] { return recorder_.size() == 4; }));
    EXPECT_EQ(recorder_.take(), (std::vector<std::string>{"status", "menu begins", "menu ends", "page_ready 5"}));
}

// A handler that destroys the control, queued or raised at once: the events queued behind it
// are dropped, and the control lets go of the handlers.
TEST_F(BrowserViewEventsTest, DestroyingTheControlInAHandlerDeliversNothingAfterwards) {
    struct Case {
        const char* what;
        std::uint32_t code;
        std::vector<std::uint8_t> payload;
    } cases[] = {
        {"queued", hp::kStatusTextChanged, view_text(5, u"last")},
        {"at once", hp::kNewWindow, hp::encode_new_window({5, 1, u"", u"http://n/"})},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(make_view());
        const size_t titles_before = logged("result 8831").size();
        bool destroyed = false;
        int after = 0;
        // Held only by the handlers: it goes when the control has let go of them.
        auto token = std::make_shared<int>();
        std::weak_ptr<int> handlers_alive = token;
        BrowserView* view = view_;
        auto destroy = [&] {
            // Two titles sent beside this event are queued (answered) before the control goes.
            EXPECT_TRUE(pump_until([&] { return logged("result 8831").size() == titles_before + 2; })) << c.what;
            destroyed = true;
            view->destroy();
        };
        BrowserViewEvents events;
        events.status_text_changed = [destroy](int, std::wstring_view) { destroy(); };
        events.new_window = [destroy](int, std::wstring_view, std::wstring_view, int) {
            destroy();
            return true;
        };
        events.title_changed = [&after, &destroyed, token](int, std::wstring_view) { after += destroyed; };
        view_->set_events(std::exchange(events, {}));
        token.reset();
        ASSERT_TRUE(start());
        // The host waits for the answer to an event raised at once: the titles go before it.
        bool at_once = c.code == hp::kNewWindow;
        if (!at_once)
            host_sends(c.code, c.payload);
        host_sends(hp::kTitleChanged, view_text(5, u"queued behind"));
        host_sends(hp::kTitleChanged, view_text(5, u"queued behind"));
        if (at_once)
            host_sends(c.code, c.payload);
        view_ = nullptr;
        EXPECT_TRUE(pump_until([&] { return handlers_alive.expired(); })) << c.what;
        EXPECT_TRUE(destroyed) << c.what;
        EXPECT_EQ(after, 0) << c.what;
    }
}

}  // namespace
}  // namespace quarnel
