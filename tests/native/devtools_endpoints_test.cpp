#include "core/devtools_endpoints.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace quarnel::devtools {
namespace {

TEST(ParseActivePort, TakesThePortAndPathAndRefusesAnythingElse) {
    struct Case {
        std::string_view file;
        int port = 0;  // 0: refused
        std::string_view path = {};
    } cases[] = {
        {"38473\n/devtools/browser/0f3c-77ab", 38473, "/devtools/browser/0f3c-77ab"},
        {"9222\r\n/devtools/browser/x\r\n", 9222, "/devtools/browser/x"},
        {"1\n/devtools/browser/x\n", 1, "/devtools/browser/x"},
        {"65535\n/b\n", 65535, "/b"},
        {"", 0},
        {"9222", 0},
        {"9222\n", 0},
        {"9222\n/", 0},
        {"0\n/devtools/browser/x", 0},
        {"65536\n/devtools/browser/x", 0},
        {"+9222\n/devtools/browser/x", 0},
        {" 9222\n/devtools/browser/x", 0},
        {"9222\ndevtools/browser/x", 0},
        {"9222\n/devtools/browser/x y", 0},
        {"9222\n/devtools/browser/x\nthird line", 0},
        {"9222\n/devtools/browser/x\n\n", 0},
    };
    for (const Case& c : cases) {
        std::optional<ActivePort> port = parse_active_port(c.file);
        EXPECT_EQ(port ? port->port : 0, c.port) << c.file;
        if (port)
            EXPECT_EQ(port->browser_path, c.path) << c.file;
    }
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
    ASSERT_TRUE(version);
    EXPECT_EQ(version->browser, "Chrome/120.0.6099.224");
    EXPECT_EQ(version->protocol_version, "1.3");
    EXPECT_EQ(version->user_agent, "Mozilla/5.0 (X11)");
    EXPECT_EQ(version->websocket_url, "ws://127.0.0.1:9222/devtools/browser/b0b8");
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
    ASSERT_TRUE(pages);
    ASSERT_EQ(pages->size(), 2u);
    EXPECT_EQ((*pages)[0].id, "A1");
    EXPECT_EQ((*pages)[0].title, "One");
    EXPECT_EQ((*pages)[0].url, "http://a/");
    EXPECT_EQ((*pages)[0].websocket_url, "ws://127.0.0.1:9222/devtools/page/A1");
    EXPECT_EQ((*pages)[1].id, "B2");
    EXPECT_EQ((*pages)[1].websocket_url, "");
    EXPECT_EQ(parse_target_list("[]")->size(), 0u);
    EXPECT_FALSE(parse_target_list(R"({"id": "A1", "type": "page"})"));
}

TEST(ParseWebSocketUrl, SplitsHostPortAndPath) {
    struct Case {
        std::string_view url;
        std::optional<std::string_view> host_port;
        std::string_view path = {};
    } cases[] = {
        {"ws://127.0.0.1:9222/devtools/page/A1", "127.0.0.1:9222", "/devtools/page/A1"},
        {"ws://localhost:80", "localhost:80", "/"},
        {"ws://[::1]:9222/devtools/browser/x?y=1", "[::1]:9222", "/devtools/browser/x?y=1"},
        {"wss://127.0.0.1:9222/x", std::nullopt},
        {"http://127.0.0.1:9222/x", std::nullopt},
        {"ws://127.0.0.1/x", std::nullopt},
        {"ws://[::1]/x", std::nullopt},
        {"ws://:9222/x", std::nullopt},
        {"ws://127.0.0.1:0/x", std::nullopt},
        {"ws://127.0.0.1:99999/x", std::nullopt},
        {"ws://127.0.0.1:92a2/x", std::nullopt},
    };
    for (const Case& c : cases) {
        std::optional<WebSocketAddress> address = parse_websocket_url(c.url);
        ASSERT_EQ(address.has_value(), c.host_port.has_value()) << c.url;
        if (address) {
            EXPECT_EQ(address->host_port, *c.host_port) << c.url;
            EXPECT_EQ(address->path, c.path) << c.url;
        }
    }
}

}  // namespace
}  // namespace quarnel::devtools
