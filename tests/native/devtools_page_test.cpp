#include "devtools/devtools_page.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel::devtools {

void PrintTo(const PageNotice& n, std::ostream* os) {
    *os << "{kind " << static_cast<int>(n.kind) << ", \"" << n.text << "\", status " << n.status << ", disposition "
        << n.disposition << ", state " << n.is_loading << n.can_go_back << n.can_go_forward << "}";
}

namespace {

using Kind = PageNotice::Kind;

PageNotice started(std::string address = "") {
    return {.kind = Kind::kLoadStarted, .text = std::move(address)};
}
PageNotice finished(int status) {
    return {.kind = Kind::kLoadFinished, .status = status};
}
PageNotice ready() {
    return {.kind = Kind::kPageReady};
}
PageNotice state(bool loading, bool back = false, bool forward = false) {
    return {.kind = Kind::kLoadingState, .is_loading = loading, .can_go_back = back, .can_go_forward = forward};
}
PageNotice text(Kind kind, std::string text) {
    return {.kind = kind, .text = std::move(text)};
}
PageNotice new_window(std::string url, int disposition) {
    return {.kind = Kind::kNewWindow, .text = std::move(url), .disposition = disposition};
}

std::string event(std::string_view method, std::string_view params) {
    return "{\"method\":\"" + std::string(method) + "\",\"params\":" + std::string(params) + "}";
}
std::string frame_started(std::string_view frame = "T") {
    return event("Page.frameStartedLoading", "{\"frameId\":\"" + std::string(frame) + "\"}");
}
std::string frame_stopped(std::string_view frame = "T") {
    return event("Page.frameStoppedLoading", "{\"frameId\":\"" + std::string(frame) + "\"}");
}
std::string request(std::string_view id, std::string_view url, std::string_view frame = "T") {
    return event("Network.requestWillBeSent", "{\"requestId\":\"" + std::string(id) + "\",\"loaderId\":\"" +
                                                  std::string(id) + "\",\"documentURL\":\"" + std::string(url) +
                                                  "\",\"type\":\"Document\",\"frameId\":\"" + std::string(frame) +
                                                  "\"}");
}
std::string response(std::string_view id, int status) {
    return event("Network.responseReceived",
                 "{\"requestId\":\"" + std::string(id) +
                     "\",\"type\":\"Document\",\"frameId\":\"T\",\"response\":{\"status\":" + std::to_string(status) +
                     "}}");
}
std::string navigated(std::string_view url, std::string_view extra = "") {
    return event("Page.frameNavigated", "{\"frame\":{\"id\":\"T\",\"loaderId\":\"L\",\"url\":\"" + std::string(url) +
                                            "\"" + std::string(extra) + "},\"type\":\"Navigation\"}");
}
std::string target_info(std::string_view title, std::string_view url, std::string_view target = "T") {
    return event("Target.targetInfoChanged", "{\"targetInfo\":{\"targetId\":\"" + std::string(target) +
                                                 "\",\"type\":\"page\",\"title\":\"" + std::string(title) +
                                                 "\",\"url\":\"" + std::string(url) + "\"}}");
}
const std::string load_event = event("Page.loadEventFired", R"({"timestamp":5.5})");

// Each case feeds its messages in order (a reply goes to on_history, an event to on_event) and
// expects all the notices they bring, in order.
TEST(PageTracker, NotifiesEachNavigationInOrder) {
    struct Case {
        std::string name;
        std::vector<std::string> messages;
        std::vector<PageNotice> notices;
    } cases[] = {
        {"a page found",
         {frame_started(), request("R1", "http://a/"), response("R1", 200), navigated("http://a/"),
          target_info("A", "http://a/"), event("Page.domContentEventFired", "{}"), load_event, frame_stopped()},
         {state(true), started(), text(Kind::kAddressChanged, "http://a/"), text(Kind::kTitleChanged, "A"),
          finished(200), state(false), ready()}},
        {"request before the frame starts",
         {request("R1", "http://a/"), frame_started(), response("R1", 404), frame_stopped(), load_event},
         {state(true), started("http://a/"), finished(404), state(false), ready()}},
        {"a redirect within one load",
         {request("R1", "http://a/"), request("R1", "http://b/"), response("R1", 200), load_event},
         {state(true), started("http://a/"), finished(200), state(false), ready()}},
        {"a document without HTTP",
         {frame_started(), navigated("about:blank"), load_event},
         {state(true), started(), text(Kind::kAddressChanged, "about:blank"), finished(200), state(false), ready()}},
        {"a failure shown in an error page",
         {frame_started(), request("R1", "http://down/"),
          event("Network.loadingFailed", R"({"requestId":"R1","errorText":"net::ERR_CONNECTION_REFUSED"})"),
          navigated("chrome-error://chromewebdata/", R"(,"unreachableUrl":"http://down/")"),
          target_info("down", "chrome-error://chromewebdata/"), load_event, frame_stopped()},
         {state(true), started(), text(Kind::kAddressChanged, "http://down/"), text(Kind::kTitleChanged, "down"),
          finished(-102), state(false)}},
        {"a cancelled load",
         {request("R1", "http://a/file.zip"),
          event("Network.loadingFailed", R"({"requestId":"R1","errorText":"net::ERR_ABORTED","canceled":true})"),
          frame_stopped()},
         {state(true), started("http://a/file.zip"), finished(kNetAborted), state(false)}},
        {"a new navigation in place of one under way",
         {request("R1", "http://a/"), request("R2", "http://b/"),
          event("Network.loadingFailed", R"({"requestId":"R1","errorText":"net::ERR_ABORTED"})"), response("R2", 200),
          load_event},
         {state(true), started("http://a/"), finished(kNetAborted), state(false), state(true), started("http://b/"),
          finished(200), state(false), ready()}},
        {"the lifecycle's load of this document",
         {request("R1", "http://a/"), response("R1", 200),
          event("Page.lifecycleEvent", R"({"frameId":"T","loaderId":"R0","name":"load"})"),
          event("Page.lifecycleEvent", R"({"frameId":"T","loaderId":"R1","name":"DOMContentLoaded"})"),
          event("Page.lifecycleEvent", R"({"frameId":"T","loaderId":"R1","name":"load"})"), load_event},
         {state(true), started("http://a/"), finished(200), state(false), ready()}},
        {"sub-frames load no page",
         {frame_started("C"), request("R9", "http://ad/", "C"),
          event("Page.frameNavigated", R"({"frame":{"id":"C","parentId":"T","url":"http://ad/"}})"),
          event("Page.lifecycleEvent", R"({"frameId":"C","loaderId":"R9","name":"load"})"), frame_stopped("C")},
         {}},
        {"navigations within the document",
         {event("Page.navigatedWithinDocument", R"({"frameId":"T","url":"http://a/#x"})"),
          event("Page.navigatedWithinDocument", R"({"frameId":"T","url":"http://a/#x"})"),
          event("Page.navigatedWithinDocument", R"({"frameId":"C","url":"http://ad/#y"})"),
          navigated("http://a/", R"(,"urlFragment":"#z")")},
         {text(Kind::kAddressChanged, "http://a/#x"), text(Kind::kAddressChanged, "http://a/#z")}},
        {"titles and addresses of this target only, each change once",
         {target_info("A", "http://a/"), target_info("A", "http://a/"), target_info("B", "http://b/", "OTHER"),
          target_info("A2", "http://a/")},
         {text(Kind::kAddressChanged, "http://a/"), text(Kind::kTitleChanged, "A"), text(Kind::kTitleChanged, "A2")}},
        {"history: back and forward, with the entry's title",
         {R"({"id":1,"result":{"currentIndex":1,"entries":[{"id":1,"title":""},{"id":2,"title":"Two"}]}})",
          R"({"id":2,"result":{"currentIndex":1,"entries":[{"id":1,"title":""},{"id":2,"title":"Two"}]}})",
          R"({"id":3,"result":{"currentIndex":0,"entries":[{"id":1,"title":""},{"id":2,"title":"Two"}]}})",
          R"({"id":4,"result":{"currentIndex":2,"entries":[{"id":1}]}})",
          R"({"id":5,"error":{"code":-32000,"message":"gone"}})"},
         {state(false, true, false), text(Kind::kTitleChanged, "Two"), state(false, false, true)}},
        {"history kept by the next load",
         {R"({"id":1,"result":{"currentIndex":1,"entries":[{"id":1},{"id":2}]}})", frame_started(), load_event},
         {state(false, true, false), state(true, true, false), started(), finished(200), state(false, true, false),
          ready()}},
        {"console messages",
         {event("Runtime.consoleAPICalled",
                R"({"type":"log","args":[{"type":"string","value":"n ="},{"type":"number","value":1.5},)"
                R"({"type":"boolean","value":true},{"type":"object","subtype":"null","value":null},)"
                R"({"type":"undefined"},{"type":"number","unserializableValue":"NaN"},)"
                R"({"type":"object","className":"Object","description":"Object"}]})"),
          event("Runtime.exceptionThrown",
                R"({"exceptionDetails":{"text":"Uncaught","exception":{"description":"ReferenceError: x"}}})"),
          event("Runtime.exceptionThrown", R"({"exceptionDetails":{"text":"Uncaught"}})")},
         {text(Kind::kConsoleMessage, "n = 1.5 true null undefined NaN Object"),
          text(Kind::kConsoleMessage, "ReferenceError: x"), text(Kind::kConsoleMessage, "Uncaught")}},
        {"status text from the binding, each change once, cleared by a load",
         {event("Runtime.bindingCalled", R"({"name":"qStatus","payload":"http://a/link","executionContextId":1})"),
          event("Runtime.bindingCalled", R"({"name":"qStatus","payload":"http://a/link","executionContextId":1})"),
          event("Runtime.bindingCalled", R"({"name":"other","payload":"x","executionContextId":1})"), frame_started()},
         {text(Kind::kStatusText, "http://a/link"), state(true), started(), text(Kind::kStatusText, "")}},
        {"titles a script sets, from their binding, each change once",
         {event("Runtime.bindingCalled", R"({"name":"qTitle","payload":"one","executionContextId":1})"),
          event("Runtime.bindingCalled", R"({"name":"qTitle","payload":"one","executionContextId":1})"),
          event("Runtime.bindingCalled", R"({"name":"qTitle","payload":"two","executionContextId":1})")},
         {text(Kind::kTitleChanged, "one"), text(Kind::kTitleChanged, "two")}},
        {"new windows",
         {event("Page.windowOpen", R"({"url":"http://a/pop","windowName":"p","windowFeatures":["width=300"],)"
                                   R"("userGesture":true})"),
          event("Page.windowOpen",
                R"({"url":"http://a/tab","windowName":"_blank","windowFeatures":[],"userGesture":true})")},
         {new_window("http://a/pop", kOpenNewWindow), new_window("http://a/tab", kOpenForegroundTab)}},
        {"events of no concern",
         {event("Network.dataReceived", R"({"requestId":"R1"})"), event("Page.loadEventFired", "{}"), frame_stopped(),
          event("Page.frameStartedLoading", R"({"frameId":5})"), event("Page.windowOpen", "[]")},
         {}},
    };
    for (const Case& c : cases) {
        PageTracker tracker("T", "qStatus", "qTitle");
        std::vector<PageNotice> notices;
        for (const std::string& text : c.messages) {
            std::optional<Message> message = parse_message(text);
            ASSERT_TRUE(message) << c.name << ": " << text;
            auto more =
                message->kind == Message::Kind::kEvent ? tracker.on_event(*message) : tracker.on_history(*message);
            notices.insert(notices.end(), more.begin(), more.end());
        }
        EXPECT_EQ(notices, c.notices) << c.name;
    }
}

TEST(PageTracker, AbandonsOnlyALoadUnderWay) {
    PageTracker tracker("T", "qStatus");
    EXPECT_TRUE(tracker.abandon(-7).empty());
    tracker.on_event(*parse_message(request("R1", "http://slow/")));
    EXPECT_TRUE(tracker.is_loading());
    EXPECT_EQ(tracker.abandon(-7), (std::vector<PageNotice>{finished(-7), state(false)}));
    EXPECT_FALSE(tracker.is_loading());
    EXPECT_TRUE(tracker.on_event(*parse_message(load_event)).empty());
}

TEST(PageTracker, WantsTheHistoryOnceAfterEachMoveOfTheMainFrame) {
    PageTracker tracker("T", "qStatus");
    EXPECT_FALSE(tracker.take_history_request());
    tracker.on_event(*parse_message(navigated("http://a/")));
    EXPECT_TRUE(tracker.take_history_request());
    EXPECT_FALSE(tracker.take_history_request());
    tracker.on_event(*parse_message(event("Page.navigatedWithinDocument", R"({"frameId":"T","url":"http://a/#x"})")));
    EXPECT_TRUE(tracker.take_history_request());
}

TEST(StatusTextScript, CallsTheNamedBinding) {
    std::string script = status_text_script("q\"Status");
    EXPECT_NE(script.find("window[\"q\\\"Status\"]"), std::string::npos);
}

}  // namespace
}  // namespace quarnel::devtools
