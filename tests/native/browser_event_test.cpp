#include "core/browser_event.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace quarnel {
namespace {

namespace be = browser_event;
namespace hp = host_protocol;
using Carrier = HostMessage::Carrier;

// A message as the host sends it, with its payload's bytes.
struct Sent {
    Carrier carrier;
    std::uint32_t code;
    std::uint32_t wparam = 0;
    std::uint32_t lparam = 0;
    hp::Bytes data{};
    HostMessage message() const { return {carrier, code, wparam, lparam, data}; }
};
Sent plain(std::uint32_t code, std::uint32_t wparam, std::uint32_t lparam) {
    return {Carrier::kPlain, code, wparam, lparam};
}
Sent copied(std::uint32_t code, hp::Bytes data) {
    return {.carrier = Carrier::kCopyData, .code = code, .data = std::move(data)};
}
hp::Bytes view_text(std::uint32_t view, std::u16string text) {
    return hp::encode_view_text({view, std::move(text)});
}

TEST(BrowserEventRoutes, EachNotificationDecodesToItsEvent) {
    struct Case {
        const char* what;
        Sent sent;
        std::optional<BrowserEvent> event;  // nothing: carried, but nothing to raise
    } cases[] = {
        {"plain load started", plain(hp::kLoadStarted, 7, 0), be::LoadStarted{7}},
        {"load started with frame", copied(hp::kLoadStarted, view_text(7, u"f1")), be::LoadStarted{7, u"f1"}},
        {"view created", plain(hp::kViewCreated, 0, 5), be::ViewCreated{5}},
        {"view closing", plain(hp::kViewClosing, 0, 5), be::ViewClosing{5}},
        {"page ready", plain(hp::kPageReady, 0, 5), be::PageReady{5}},
        {"load finished", copied(hp::kLoadFinished, hp::encode_load_finished({5, -404, u"main"})),
         be::LoadFinished{5, u"main", -404}},
        {"loading 1,0,1", plain(hp::kLoadingStateChanged, 5, 0x010001),
         be::LoadingStateChanged{5, {true, false, true}}},
        {"loading 0,1,0", plain(hp::kLoadingStateChanged, 5, 0x000100),
         be::LoadingStateChanged{5, {false, true, false}}},
        {"address", copied(hp::kAddressChanged, view_text(5, u"http://a/")), be::AddressChanged{5, u"http://a/"}},
        {"title", copied(hp::kTitleChanged, view_text(5, u"\u6807\u9898")), be::TitleChanged{5, u"\u6807\u9898"}},
        {"status", copied(hp::kStatusTextChanged, view_text(5, u"")), be::StatusTextChanged{5, u""}},
        {"console", copied(hp::kConsoleMessage, view_text(5, u"log")), be::ConsoleMessage{5, u"log"}},
        {"resource", plain(hp::kResourceFound, 5, 3), be::ResourceFound{5, 3}},
        // Key state 2, key type 1, key code 65.
        {"key event", plain(hp::kKeyEvent, 5, 2 | 1 << 8 | 65 << 16), be::KeyEvent{5, {1, 2, 65}}},
        {"context menu", plain(hp::kContextMenu, 5, 0xFFFE0001), be::ContextMenu{5, {true, -2}}},
        {"new window", copied(hp::kNewWindow, hp::encode_new_window({5, 3, u"fr", u"http://n/"})),
         be::NewWindow{5, u"http://n/", u"fr", 3}},
        {"ignored notice", plain(hp::kIgnoredNotice, 5, 5), std::nullopt},
        {"short load finished", copied(hp::kLoadFinished, {5, 0, 0, 0, 1, 0, 0}), std::nullopt},
        {"short title", copied(hp::kTitleChanged, {5, 0}), std::nullopt},
        {"short new window", copied(hp::kNewWindow, {5, 0, 0, 0}), std::nullopt},
        // A text without its NUL ends with the data.
        {"title without NUL", copied(hp::kTitleChanged, {5, 0, 0, 0, 'a', 0, 'b', 0}), be::TitleChanged{5, u"ab"}},
    };
    for (const Case& c : cases) {
        HostMessage message = c.sent.message();
        const NotificationRoute* route = find_notification_route(message);
        ASSERT_NE(route, nullptr) << c.what;
        EXPECT_TRUE(route->decode(message) == c.event) << c.what;
        // Only the two whose answer the host waits for are raised inside their message.
        bool answered = c.sent.code == hp::kContextMenu || c.sent.code == hp::kNewWindow;
        EXPECT_EQ(route->at_once, answered) << c.what;
    }
}

TEST(BrowserEventRoutes, RepliesCommandsAndOtherCarriersAreNoNotifications) {
    for (const Sent& sent : std::vector<Sent>{
             plain(hp::kHostReady, 0, 0), plain(hp::kReply8847, 0, 0), copied(hp::kPageSource, {}),
             copied(hp::kPageSourcePart, {}), plain(hp::kTitleChanged, 5, 0), copied(hp::kViewCreated, {}),
             copied(hp::kContextMenu, {}), plain(hp::kNewWindow, 5, 0), plain(0x0400, 0, 0)})
        EXPECT_EQ(find_notification_route(sent.message()), nullptr) << std::hex << sent.code;
}

}  // namespace
}  // namespace quarnel
