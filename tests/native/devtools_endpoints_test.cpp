#include "core/devtools_endpoints.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace quarnel::devtools {
namespace {

TEST(ParseActivePort, TakesThePortAndPathAndRefusesAnythingElse) {
    struct Case {
        std::string_view file;
        std::optional<ActivePort> port;
    } cases[] = {
        {"38473\n/devtools/browser/0f3c-77ab", ActivePort{38473, "/devtools/browser/0f3c-77ab"}},
        {"9222\r\n/devtools/browser/x\r\n", ActivePort{9222, "/devtools/browser/x"}},
        {"1\n/b\n", ActivePort{1, "/b"}},
        {"65535\n/b", ActivePort{65535, "/b"}},
        {"", std::nullopt},
        {"9222", std::nullopt},
        {"9222\n", std::nullopt},
        {"9222\n/", std::nullopt},
        {"0\n/devtools/browser/x", std::nullopt},
        {"65536\n/devtools/browser/x", std::nullopt},
        {"+9222\n/devtools/browser/x", std::nullopt},
        {" 9222\n/devtools/browser/x", std::nullopt},
        {"9222\ndevtools/browser/x", std::nullopt},
        {"9222\n/devtools/browser/x y", std::nullopt},
        {"9222\n/devtools/browser/x\nthird line", std::nullopt},
        {"9222\n/devtools/browser/x\n\n", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parse_active_port(c.file), c.port) << c.file;
}

TEST(EndpointRequest, SaysThatAPutHasNoBody) {
    EXPECT_EQ(endpoint_request("GET", "127.0.0.1:9222", "/json/version"),
              "GET /json/version HTTP/1.1\r\nHost: 127.0.0.1:9222\r\n\r\n");
    EXPECT_EQ(endpoint_request("PUT", "127.0.0.1:9222", "/json/new?about:blank"),
              "PUT /json/new?about:blank HTTP/1.1\r\nHost: 127.0.0.1:9222\r\nContent-Length: 0\r\n\r\n");
}

TEST(ParseVersion, NeedsTheBrowsersWebSocketAddress) {
    std::optional<BrowserVersion> version = parse_version(R"json({
        "Browser": "Chrome/120.0.6099.224", "Protocol-Version": "1.3", "User-Agent": "Mozilla/5.0 (X11)",
        "V8-Version": "12.0", "webSocketDebuggerUrl": "ws://127.0.0.1:9222/devtools/browser/b0b8"})json");
    EXPECT_EQ(version, (BrowserVersion{"Chrome/120.0.6099.224", "1.3", "Mozilla/5.0 (X11)",
                                       "ws://127.0.0.1:9222/devtools/browser/b0b8"}));
    for (std::string_view body : {R"({"Browser": "Chrome/120"})", R"({"webSocketDebuggerUrl": 5})", "[]", "{", ""})
        EXPECT_FALSE(parse_version(body)) << body;
}

TEST(ParseTargetList, KeepsOnlyPagesInTheirOrder) {
    std::optional<std::vector<PageTarget>> pages = parse_target_list(R"([
        {"id": "A1", "type": "page", "title": "One", "url": "http://a/",
         "webSocketDebuggerUrl": "ws://127.0.0.1:9222/devtools/page/A1"},
        {"id": "W", "type": "service_worker", "url": "http://a/sw.js"},
        {"id": "U", "type": "other", "url": "chrome://newtab-footer/"},
        "not a target",
        {"type": "page", "url": "http://no-id/"},
        {"id": "B2", "type": "page", "title": "Two", "url": "about:blank"}])");
    EXPECT_EQ(pages, (std::vector<PageTarget>{{"A1", "http://a/", "One", "ws://127.0.0.1:9222/devtools/page/A1"},
                                              {"B2", "about:blank", "Two", ""}}));
    EXPECT_EQ(parse_target_list("[]")->size(), 0u);
    EXPECT_FALSE(parse_target_list(R"({"id": "A1", "type": "page"})"));
}

TEST(ParseWebSocketUrl, SplitsHostPortAndPath) {
    struct Case {
        std::string_view url;
        std::optional<WebSocketAddress> address;
    } cases[] = {
        {"ws://127.0.0.1:9222/devtools/page/A1", WebSocketAddress{"127.0.0.1:9222", "/devtools/page/A1"}},
        {"ws://localhost:80", WebSocketAddress{"localhost:80", "/"}},
        {"ws://[::1]:9222/devtools/browser/x?y=1", WebSocketAddress{"[::1]:9222", "/devtools/browser/x?y=1"}},
        {"wss://127.0.0.1:9222/x", std::nullopt},
        {"http://127.0.0.1:9222/x", std::nullopt},
        {"ws://127.0.0.1/x", std::nullopt},
        {"ws://[::1]/x", std::nullopt},
        {"ws://:9222/x", std::nullopt},
        {"ws://127.0.0.1:0/x", std::nullopt},
        {"ws://127.0.0.1:99999/x", std::nullopt},
        {"ws://127.0.0.1:92a2/x", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parse_websocket_url(c.url), c.address) << c.url;
}

}  // namespace
}  // namespace quarnel::devtools
